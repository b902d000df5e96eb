#!/usr/bin/env bash
# Builds VELKINDEX and runs every test. Installs missing Debian packages first.
#
# Three stages, each in its own build folder:
#   1. the ordinary build (build/ or $VELK_BUILD_DIR): every ctest test,
#      including the reliability tests and a replay of each fuzz target's seeds;
#   2. scripts/sanitize.sh: the whole project again with AddressSanitizer and
#      UndefinedBehaviorSanitizer, every test under them (build-asan/);
#   3. scripts/fuzz.sh: each libFuzzer target for $VELK_FUZZ_SECONDS seconds
#      (default 20) with clang (build-fuzz/).
# VELK_TEST_QUICK=1 runs the first stage only. A stage that fails stops the
# run with a non-zero exit status.
# The tests that run on the PostgreSQL engine too need a server: here its
# absence is a failure, not a skip (VELK_REQUIRE_PG=1).
set -euo pipefail
export VELK_REQUIRE_PG=1
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
bash "$top/scripts/build.sh"
build=${VELK_BUILD_DIR:-$top/build}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

if [ "${VELK_TEST_QUICK:-0}" = 1 ]; then
  echo "test: quick run; the sanitizer build and the fuzzers were left out"
  exit 0
fi
bash "$top/scripts/sanitize.sh"
bash "$top/scripts/fuzz.sh"
echo "test: every stage passed (tests, sanitizers, fuzzers)"
