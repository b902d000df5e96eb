#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs
# each one for a while over its seeds in fuzz/corpus/<target>/. A crash, a
# sanitizer report or a leak fails the run; the input that caused it is kept
# in the build folder's fuzz-artifacts/ and shown at the end.
#
# Usage: scripts/fuzz.sh [TARGET...]        (default: every target)
#   VELK_FUZZ_SECONDS  time per target, default 20
#   VELK_FUZZ_BUILD_DIR  build folder, default build-fuzz
#   VELK_FUZZ_ARGS     more libFuzzer flags, e.g. "-runs=20000"
# New inputs the fuzzer finds go to a scratch corpus in the build folder, not
# into fuzz/corpus/. Rerun one crash: build-fuzz/bin/<target> <crash-file>.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"

build=${VELK_FUZZ_BUILD_DIR:-$top/build-fuzz}
seconds=${VELK_FUZZ_SECONDS:-20}
all=(fuzz_tokens fuzz_index_line fuzz_code_line fuzz_description_line fuzz_byte_forms fuzz_command_line fuzz_kovadel_fields)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_FUZZ=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"

if [ -z "${ASAN_SYMBOLIZER_PATH:-}" ] && [ -x /usr/bin/llvm-symbolizer-14 ]; then
  export ASAN_SYMBOLIZER_PATH=/usr/bin/llvm-symbolizer-14
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:print_stacktrace=1}"

artifacts="$build/fuzz-artifacts"
logs="$build/fuzz-logs"
mkdir -p "$artifacts" "$logs"
passed=0
failed=0
for t in "${targets[@]}"; do
  seeds="$top/fuzz/corpus/$t"
  work="$build/fuzz-corpus/$t"
  mkdir -p "$work"
  log="$logs/$t.log"
  echo "== $t: ${seconds}s"
  # The scratch corpus comes first: libFuzzer writes what it finds there and
  # only reads the seeds.
  # shellcheck disable=SC2086
  if "$build/bin/$t" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/$t-" ${VELK_FUZZ_ARGS:-} "$work" "$seeds" >"$log" 2>&1; then
    passed=$((passed + 1))
    grep -E '^(stat::number_of_executed_units|#[0-9]+ +DONE)' "$log" | tail -n 2 | sed 's/^/   /' || true
  else
    failed=$((failed + 1))
    echo "   FAILED; last lines of $log:"
    tail -n 60 "$log" | sed 's/^/   /'
  fi
done

if [ "$failed" -ne 0 ]; then
  echo "Inputs that failed, in $artifacts:"
  ls -l "$artifacts"
fi
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
