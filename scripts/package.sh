#!/usr/bin/env bash
# Builds the Debian package of the plugin, the host library and the tool into build/ and lists
# what it holds:   bash scripts/package.sh
# Install it with   apt-get install ./build/canservice_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh
cd build
rm -f canservice_*.deb
cpack -G DEB > cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
package=$(ls canservice_*.deb)
dpkg-deb --info "$package" | sed -n '/Package:/,$p'
dpkg-deb --contents "$package" | awk '{print $6}'
echo "Built build/$package"
