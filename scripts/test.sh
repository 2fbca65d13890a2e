#!/bin/sh
# Installs what the project needs, builds the test configuration
# (AddressSanitizer and UndefinedBehaviorSanitizer) and runs the suite.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build/test -DCMAKE_BUILD_TYPE=Debug -DZYN_SANITIZE=ON -DZYN_BUILD_BENCH=OFF
cd build/test
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j2
