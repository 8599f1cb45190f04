#!/usr/bin/env bash
# Installs what is missing, builds kestrane and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test (unit and end-to-end) with CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" test

build="${KESTRANE_TEST_BUILD:-$root/build-test}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRANE_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
# The tests run the program as other users too (nobody, kestest): the suppressions are read from
# a copy they can read, wherever the checkout is.
supp=$(mktemp /tmp/kestrane-lsan.XXXXXX)
cp "$root/tests/lsan.supp" "$supp"
chmod 644 "$supp"
trap 'rm -f "$supp"' EXIT
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
# A failing test does not stop the run: the fuzz targets still run, so that one run shows
# everything that is wrong, and the script fails at the end.
failed=()
ctest --output-on-failure --timeout 600 || failed+=("tests")

# The libFuzzer targets of the file readers: a separate clang build, each target run for a few
# seconds so that they keep building and a crash on the way shows at once.
fuzzbuild="${KESTRANE_FUZZ_BUILD:-$root/build-fuzz}"
cmake -S "$root" -B "$fuzzbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKESTRANE_FUZZ=ON \
    -DKESTRANE_SANITIZE=ON -DBUILD_TESTING=OFF -DKESTRANE_BENCH=OFF
cmake --build "$fuzzbuild" --target kestrane_fuzz -j"$(nproc)"
corpus=$(mktemp -d)
trap 'rm -rf "$corpus" "$supp"' EXIT
while read -r target; do
    [ -n "$target" ] || continue
    name=$(basename "$target")
    mkdir -p "$corpus/$name"
    # Inputs that once broke a target start every run, so a rare case is tried each time.
    if [ -d "$root/tests/fuzz-seeds/$name" ]; then
        cp "$root/tests/fuzz-seeds/$name"/* "$corpus/$name/"
    fi
    if "$target" -max_total_time=5 -max_len=4096 -artifact_prefix="$corpus/" "$corpus/$name" \
        </dev/null >"$corpus/$name.log" 2>&1; then
        echo "fuzz: $name: $(grep -E '^Done' "$corpus/$name.log")"
    else
        cat "$corpus/$name.log"
        echo "fuzz: $name failed"
        failed+=("fuzz target $name")
    fi
done < "$fuzzbuild/fuzz_targets.txt"

if [ "${#failed[@]}" -gt 0 ]; then
    echo "test.sh: failed: ${failed[*]}" >&2
    exit 1
fi
