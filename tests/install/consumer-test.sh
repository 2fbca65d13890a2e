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
# pkg-config users see the same library, under the prefix really installed to.
pc="$(find "$work/stage" -name zyn.pc)"
PKG_CONFIG_PATH="$(dirname "$pc")" pkg-config --libs zyn | grep -q -- "-L$work/stage/.* -lzyn"
[ "$(PKG_CONFIG_PATH="$(dirname "$pc")" pkg-config --variable=prefix zyn)" = "$work/stage" ]
# The installed programs start from this prefix without LD_LIBRARY_PATH.
found=0
for tool in "$work"/stage/bin/* "$work"/stage/libexec/xscreensaver/zyn-screensaver; do
  [ -x "$tool" ] || continue
  found=$((found + 1))
  if ! env -u LD_LIBRARY_PATH "$tool" --help >/dev/null 2>"$work/tool-stderr"; then
    echo "$tool --help failed from the staging prefix:" >&2
    cat "$work/tool-stderr" >&2
    exit 1
  fi
done
[ "$found" -ge 5 ]
# The other saver hosts find the hack under this prefix too: the desktop
# entry names it, the xsecurelock module runs it from beside itself.
entry="$work/stage/share/applications/screensavers/zyn-screensaver.desktop"
grep -qx "Exec=$work/stage/libexec/xscreensaver/zyn-screensaver -root" "$entry" || {
  echo "the desktop entry does not name the hack under $work/stage:" >&2
  grep '^Exec=' "$entry" >&2
  exit 1
}
env -u LD_LIBRARY_PATH "$work/stage/libexec/xsecurelock/saver_zyn-temple" --help >/dev/null 2>"$work/tool-stderr" || {
  echo "the xsecurelock module cannot run the hack from the staging prefix:" >&2
  cat "$work/tool-stderr" >&2
  exit 1
}
