#!/bin/sh
# Installs what the project needs and builds the release configuration.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build/rel -DCMAKE_BUILD_TYPE=Release -DZYN_BUILD_TESTS=OFF
echo "Built the framework and its tools in build/rel."
