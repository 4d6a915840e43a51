#!/usr/bin/env bash
# Installs what Quovis needs, then checks and tests everything, printing how long each step
# took: the release build with all tests (display tests under a private Xvfb), the
# AddressSanitizer+UBSan and ThreadSanitizer builds of the tests that need no display, a
# minute of fuzzing for each fuzz target, and the C++ layout (clang-format). After each build,
# a check that every system file it used comes from a package scripts/install-deps.sh brings
# in. Every build here treats warnings as errors. The test steps run beside a throwaway
# PostgreSQL (scripts/with-postgres.sh), so the library server's tests cover both its stores.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
start=$(date +%s)
timings=()
current=""

# Runs one step and notes how long it took; the table at the end (or at a failure) shows all.
step() {
  local name=$1 t
  shift
  echo "=== $name"
  t=$(date +%s)
  current="$name@$t"
  "$@"
  timings+=("$(printf '%-36s %5d s' "$name" $(($(date +%s) - t)))")
  current=""
}
report_times() {
  local rc=$?
  if [ -n "$current" ]; then
    timings+=("$(printf '%-36s %5d s  FAILED' "${current%@*}" $(($(date +%s) - ${current##*@})))")
  fi
  if [ ${#timings[@]} -ne 0 ]; then
    echo "=== time taken by each step"
    printf '%s\n' "${timings[@]}"
  fi
  if [ $rc -ne 0 ]; then echo "=== FAILED after $(($(date +%s) - start)) s"; fi
}
trap report_times EXIT

build_preset() {
  cmake --preset "$1" -DQUOVIS_WERROR=ON >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

test_release() {
  # The display tests run the saver under a private X server with Mesa's OpenGL; one test
  # at a time there, since they look at the whole screen.
  scripts/with-postgres.sh xvfb-run -a -s "-screen 0 1280x720x24 +extension GLX" \
    ctest --preset release -j "$jobs" -LE display
  xvfb-run -a -s "-screen 0 1280x720x24 +extension GLX" \
    ctest --preset release -j 1 -L display
}

step "release: configure and build" build_preset release
step "release: system packages check" scripts/check-build-packages.sh build/release
step "release: test" test_release
step "asan: configure and build" build_preset asan
step "asan: system packages check" scripts/check-build-packages.sh build/asan
step "asan: test" scripts/with-postgres.sh ctest --preset asan -j "$jobs"
step "tsan: configure and build" build_preset tsan
step "tsan: system packages check" scripts/check-build-packages.sh build/tsan
step "tsan: test" scripts/with-postgres.sh ctest --preset tsan -j "$jobs"
step "fuzz: configure and build" build_preset fuzz
step "fuzz: system packages check" scripts/check-build-packages.sh build/fuzz
step "fuzz: 60 s a target" scripts/run-fuzz.sh build/fuzz 60
# Last, so that a file laid out by hand does not hide what the tests have to say.
step "format check" scripts/check-format.sh

echo "=== all tests passed in $(($(date +%s) - start)) s"
