#!/usr/bin/env bash
# Builds the Debian package of the plugin, the host library and the tool, checks what it promises
# and lists what it holds:   bash scripts/package.sh   (arguments go to cmake)
# Install it with   apt-get install ./build/canservice_*.deb
#
# A release build of its own, in build-package/, leaving the tests' build alone: without the
# tests, so that the library exports nothing only they use, and for the prefix /usr, for which
# GNUInstallDirs names the library folder (lib/<multiarch> on Debian) that holds the library, the
# plugin's folder and the Wireshark dissector.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
mkdir -p build-package build
cmake -S . -B build-package -G Ninja -DCANSERVICE_WERROR=ON -DCANSERVICE_BENCH=OFF -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr "$@" > build-package/configure.log 2>&1 \
    || { cat build-package/configure.log >&2; exit 1; }
cmake --build build-package -j2
cd build-package
rm -f canservice_*.deb ../build/canservice_*.deb
cpack -G DEB > cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
package=$(ls canservice_*.deb)

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$package" "$contents"
fail() { echo "The package $package breaks a promise: $*" >&2; exit 1; }
library=$(cd "$contents" && find . -name 'libcanservice-host.so.*.*' -type f | sed 's|^\./||')
[ -n "$library" ] || fail "no host library in it"
libdir=$(dirname "$library")
# Every symbol the library exports belongs to a class its installed headers export: nothing only
# the tests reach (those are exported from a build with the tests only), nothing internal.
exported=$(sed -nE 's/^(class|struct) CANSERVICE_HOST_EXPORT ([A-Za-z_][A-Za-z0-9_]*).*/\2/p' \
           "$contents"/usr/include/canservice/*.h | sort -u)
[ -n "$exported" ] || fail "no exported class in its headers"
foreign=$(nm -D --defined-only -C "$contents/$library" | cut -d' ' -f3- | while IFS= read -r symbol; do
    owner=$(sed -E 's/^(typeinfo name|typeinfo|vtable) for (.*)/\2::/; s/\(.*//; s/::[^:]*$//; s/^canservice:://' \
            <<< "$symbol")
    grep -qxF -- "$owner" <<< "$exported" || echo "    $symbol"
done)
[ -z "$foreign" ] || fail "$library exports what its installed headers do not:"$'\n'"$foreign"
# One library folder: the plugin's folder and the dissector beside the library.
[ -f "$contents/$libdir/canservice/plugins/libsimpleservice.so" ] \
    || fail "the plugin is not in $libdir/canservice/plugins"
[ -f "$contents/$libdir/wireshark/plugins/canbox.lua" ] || fail "the dissector is not in $libdir/wireshark/plugins"
# And that folder is where this machine's Wireshark reads its global Lua plugins, where it has one.
if command -v tshark > /dev/null; then
    global=$(tshark -G folders 2> /dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')
    [ "$global" = "/$libdir/wireshark/plugins" ] \
        || fail "the dissector is in /$libdir/wireshark/plugins, tshark reads $global"
fi

mv -f "$package" ../build/
dpkg-deb --info "../build/$package" | sed -n '/Package:/,$p'
dpkg-deb --contents "../build/$package" | awk '{print $6}'
echo "Built build/$package: $library exports only its installed classes; library, plugin and dissector in /$libdir"
