#!/bin/sh
# Plays the whole scene for 10 minutes of timeline (or --minutes N) on a fixed
# step, headless, and prints memory, particle pool and live objects per minute.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build/rel -DCMAKE_BUILD_TYPE=Release -DZYN_BUILD_TESTS=OFF
prefs="$(mktemp -d)"
trap 'rm -rf "$prefs"' EXIT
ZYN_DATA_DIR="$PWD/build/rel/data" XDG_CONFIG_HOME="$prefs" ./build/rel/source/programs/zyn-soak/zyn-soak "$@"
