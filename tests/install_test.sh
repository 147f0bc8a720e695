#!/usr/bin/env bash
# Installs the build into a fresh prefix, checks what its headers promise, builds a head-unit
# project and every installed header on its own against it with find_package(CanService) and
# warnings as errors (the prefix's include/ the one include root), runs the project, then moves the
# prefix and runs the installed tool from there.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"

# The installed headers are a promise: nothing internal, nothing only the tests reach, and no
# class of the library with private state keeps it in a header (a member there breaks every program
# built against the library when it changes; the codec's header-only classes are compiled into the
# program whole). A data member is a line of a private or protected part of a class the library
# exports ending in ';' that declares no function; the one allowed is the private pointer.
headers=$work/prefix/include/canservice
# The headers the README gives a head-unit project, among them the codec and its receive model.
for header in canboxframe.h canboxreceive.h canservicebase.h serialport.h virtualserialline.h configmanager.h; do
    [ -f "$headers/$header" ] || { echo "$header is not installed"; exit 1; }
done
bad=$(cd "$headers" && ls | grep -E '_p\.h$|^serialbackend\.h$|^serialtap\.h$' || true)
[ -z "$bad" ] || { echo "internal headers installed: $bad"; exit 1; }
if grep -nwE 'lastOpened|bytesWritten|lineLosses|SerialBackend|SerialTap|CANSERVICE_HOST_AUTOTEST_EXPORT' "$headers"/*.h; then
    echo "test-only or internal names in the installed headers"; exit 1
fi
awk '
    FNR == 1 { hidden = 0; exported = 0 }
    /^(class|struct) [^;]*$/ { hidden = ($1 == "class"); exported = /CANSERVICE_HOST_EXPORT/ }
    /^[[:space:]]*(private|protected)( slots)?:/ { hidden = 1; next }
    /^[[:space:]]*(public( slots)?|signals|Q_SIGNALS):/ { hidden = 0; next }
    /^};/ { hidden = 0 }
    exported && hidden && /;[[:space:]]*$/ && !/\(/ && !/^[[:space:]]*(friend|class|struct|using|typedef|enum) / \
        && !/^[[:space:]]*std::unique_ptr<[A-Za-z_:]+> const d;$/ { print FILENAME ":" FNR ": " $0; bad = 1 }
    END { exit bad }
' "$headers"/*.h || { echo "data members of classes with private state in the installed headers"; exit 1; }

cmake -S "$source/tests/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DINSTALLED_HEADERS_DIR="$headers" > "$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; exit 1; }
cmake --build "$work/consumer" > "$work/consumer-build.log" 2>&1 || { cat "$work/consumer-build.log"; exit 1; }
"$work/consumer/consumer"

# Nothing may point into the build tree (debug information aside: it names its sources).
found=0
while IFS= read -r -d '' file; do
    checked=$file
    if head -c 4 "$file" | grep -q ELF; then
        objcopy --strip-debug "$file" "$work/stripped" && checked=$work/stripped
    fi
    if grep -q "$build" "$checked"; then
        echo "$file names the build directory"; found=1
    fi
done < <(find "$work/prefix" -type f -print0)
[ "$found" -eq 0 ]
# No run path with an empty entry, which would load a library from whatever folder the user is in.
while IFS= read -r -d '' file; do
    runpath=$(readelf -d "$file" 2>/dev/null | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]/\2/p')
    case ":$runpath:" in
    *::*) [ -z "$runpath" ] || { echo "$file has an empty entry in its run path: $runpath"; found=1; } ;;
    esac
done < <(find "$work/prefix" "$build/bin" "$build/lib" -type f \( -perm -u+x -o -name '*.so*' \) -print0)
[ "$found" -eq 0 ]
mv "$work/prefix" "$work/moved"
set +e
timeout --preserve-status -s INT 4 "$work/moved/bin/canservice" demo > "$work/demo.log" 2>&1
status=$?
set -e
if [ "$status" -ne 130 ] || ! grep -q "Final vehicle state" "$work/demo.log"; then
    echo "the moved tool's demo ended with $status:"; cat "$work/demo.log"; exit 1
fi
grep -m1 "plugin" "$work/demo.log"
echo "installed, built against, moved and run"
