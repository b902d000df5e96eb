#!/usr/bin/env bash
# The long kill harness: batch runs (a 32,000-line topic create, a 75,000-code
# load, 75,000 coding descriptions) killed with SIGKILL at 39 points spread over
# start-up, the load and the commit. After every kill the database must pass
# PRAGMA integrity_check and hold exactly the state before the run or after a
# complete one, and the same run started again must complete. About two
# minutes; CI runs the short version (six kills) as the ctest test
# test_killed_runs.
#
# scripts/kill-harness.sh [gtest options]   e.g. --gtest_filter=KilledRuns.CodeCreate
# VELK_BUILD_DIR: the build folder (default build/); it is configured and the
# harness built when needed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELK_BUILD_DIR:-$top/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=${VELK_BUILD_TYPE:-RelWithDebInfo} ${VELK_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build" --target test_killed_runs -j"${VELK_JOBS:-2}" >/dev/null
VELK_LONG_TESTS=1 exec "$build/bin/test_killed_runs" "$@"
