#!/bin/sh
# Rebuilds the debug font generator and regenerates the compiled-in debug
# font: source/zyn/io/CppPackageData.cpp, plus the three files themselves in
# OUT_DIR (default: BUILD_DIR/debugfont). The glyph art goes through the font
# tool chain: it is written as glyph images and font export text into OUT_DIR,
# which the font manager's importer packs into the texture. The output is the
# same, byte for byte, on every run.
# Usage: scripts/gen-debugfont.sh [BUILD_DIR [OUT_DIR]]
set -eu
cd "$(dirname "$0")/.."
dir="${1:-build/debugfont}"
out="${2:-$dir/debugfont}"
# An existing build tree is used as it is configured; a new one is made lean.
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYN_BUILD_TESTS=OFF -DZYN_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$dir" -j2 --target zyn-debugfont
mkdir -p "$out"
"$dir/source/programs/zyn-debugfont/zyn-debugfont" "$out" source/zyn/io/CppPackageData.cpp
