#!/usr/bin/env bash
# The release zip for Windows: bin/ (the programs and the DLL), lib/ (the
# DLL's import library, the static library, the CMake package, tarvel.pc,
# which finds the folder from where it lies), include/, examples/ (with how
# to build them) and LICENSE, the README and the man pages as text.
#
# usage: packaging/windows-zip.sh x64|x86 OUT.zip    (from the source folder)
set -euo pipefail
arch=$1
zip=$(realpath -m "$2")
toolchain="$PWD/cmake/toolchains/windows-$arch.cmake"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage="$work/tarvel-$(sed -n 's/^#define TARVEL_VERSION_\(MAJOR\|MINOR\|PATCH\) //p' include/tarvel.h |
  paste -sd.)-windows-$arch"
# The static library first, then the DLL, whose CMake package is the one kept.
for shared in OFF ON; do
  cmake -S . -B "$work/build-$shared" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DTARVEL_BUILD_TESTS=OFF -DBUILD_SHARED_LIBS="$shared" > /dev/null
  cmake --build "$work/build-$shared" --parallel 2 > /dev/null
  cmake --install "$work/build-$shared" --prefix "$stage" > /dev/null
done
# pkg-config finds the folder wherever the zip is unpacked.
sed -i 's|^prefix=.*|prefix=${pcfiledir}/../..|' "$stage/lib/pkgconfig/tarvel.pc"
mkdir -p "$stage/examples/c"
cp examples/CMakeLists.txt examples/round_trip.cpp examples/stream.c "$stage/examples/"
cp examples/c/CMakeLists.txt "$stage/examples/c/"
cp "cmake/toolchains/windows.cmake" "$toolchain" "$stage/examples/"
triple=$(sed -n 's/^set(TARVEL_TRIPLE \(.*\))$/\1/p' "$toolchain")
sed -e "s/x86_64-w64-mingw32/$triple/g" -e "s/windows-x64.cmake/windows-$arch.cmake/g" \
  packaging/windows-examples.md > "$stage/examples/README.md"
cp LICENSE "$stage/LICENSE.txt"
cp README.md "$stage/README.md"
mkdir -p "$stage/doc"
for page in man/*.1; do
  name=$(basename "$page" .1)
  MANWIDTH=80 man -l "$page" 2> /dev/null | col -bx > "$stage/doc/$name.txt"
done
rm -rf "$stage/share"
(cd "$work" && rm -f "$zip" && zip -qr "$zip" "$(basename "$stage")")
echo "$zip"
