#!/bin/sh
# Installs the built framework into a staging prefix, then configures, builds
# and runs the consumer project against it.
# Usage: consumer-test.sh BUILD_DIR WORK_DIR [extra CXX flags]
set -eu
build="$1"
work="$2"
flags="${3:-}"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$work"
cmake --install "$build" --prefix "$work/stage" >/dev/null
cmake -S "$here/consumer" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/stage" \
      -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/build" >/dev/null
out="$(LD_LIBRARY_PATH="$work/stage/lib" "$work/build/consumer")"
echo "$out"
[ "$out" = "StdOutLogOutput made-by-name" ]
# pkg-config users see the same library.
PKG_CONFIG_PATH="$work/stage/lib/pkgconfig" pkg-config --libs zyn | grep -q -- "-lzyn"
