#!/bin/sh
# Configures and builds one tree. Usage: scripts/build.sh BUILD_DIR [cmake options...]
set -eu
cd "$(dirname "$0")/.."
dir="$1"
shift
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j2
