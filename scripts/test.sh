#!/bin/sh
# Installs what the project needs, builds the test configuration
# (AddressSanitizer and UndefinedBehaviorSanitizer) and runs the suite, then
# builds the release configuration with its tests and benchmarks, warnings as
# errors, and runs the suite there too: the optimiser sees code the debug
# build does not.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

./scripts/build.sh build/test -DCMAKE_BUILD_TYPE=Debug -DZYN_SANITIZE=ON -DZYN_BUILD_BENCH=OFF -DZYN_WERROR=ON
(cd build/test &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j2)

./scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DZYN_BUILD_TESTS=ON -DZYN_BUILD_BENCH=ON -DZYN_WERROR=ON
(cd build/release && ctest --output-on-failure -j2)
