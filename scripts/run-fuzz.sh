#!/usr/bin/env bash
# Runs each fuzz target of a built "fuzz" preset for a while, starting from its seeds in
# fuzz/corpus/<target>/, and fails on the first crash, leak, hang or sanitizer report.
#
#   scripts/run-fuzz.sh [BUILD_DIR] [SECONDS]      (defaults: build/fuzz, 60 seconds a target)
#
# The seeds are copied to a temporary folder first: libFuzzer adds every input that finds new
# code to the folder it is given, and the source tree is not the place for those. A crashing
# input is kept in BUILD_DIR/crashes/<target>/, and its path printed, so that it can be run
# again (<target> <path>) and, once fixed, added to the seeds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build/fuzz}" && pwd)"
seconds=${2:-60}
targets=(stroke_list_fuzz preset_string_fuzz settings_import_fuzz wav_file_fuzz library_answer_fuzz)

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for target in "${targets[@]}"; do
  exe="$build/fuzz/$target"
  if [ ! -x "$exe" ]; then
    echo "run-fuzz: $exe is missing (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
    exit 2
  fi
  if [ ! -d "$root/fuzz/corpus/$target" ]; then
    echo "run-fuzz: fuzz/corpus/$target has no seeds" >&2
    exit 2
  fi
  corpus="$work/$target"
  cp -r "$root/fuzz/corpus/$target" "$corpus"
  crashes="$build/crashes/$target"
  mkdir -p "$crashes"
  log="$build/$target.log"
  start=$(date +%s)
  # -timeout: one input that takes this long is a hang, and a failure like a crash.
  if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "run-fuzz: $target: no failure in $(($(date +%s) - start)) s, ${runs:-?} inputs," \
      "$(ls "$corpus" | wc -l) in the corpus (log: $log)"
  else
    rc=$?
    echo "run-fuzz: $target FAILED (exit $rc); the end of its log ($log):"
    tail -n 40 "$log"
    input=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    echo "run-fuzz: $target: the failing input is ${input:-not saved (see the log)}"
    if [ -n "$input" ]; then echo "run-fuzz: run it again with: $exe $input"; fi
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "run-fuzz: failed: ${failed[*]}"
  exit 1
fi
