#!/usr/bin/env bash
# tests/fuzz/run.sh SECONDS [NAME...]
# Builds every fuzz target (tests/fuzz/<name>_fuzz.cpp) with clang, libFuzzer, ASan and UBSan
# into build-fuzz/ (or $QUORL_FUZZ_BUILD), then runs each for SECONDS on its committed seed
# corpus tests/fuzz/corpus/<name>/ (plus tests/fuzz/<name>.dict when there is one). Naming
# targets runs only those. Exits non-zero when any target finds a crash, a leak, a timeout or
# an out-of-memory; each such input is printed as base64 so the CI log keeps it. To replay
# one: base64 -d > crash.bin, then build-fuzz/fuzz/<name>_fuzz crash.bin
set -euo pipefail
seconds=${1:?usage: tests/fuzz/run.sh SECONDS [NAME...]}
shift
cd "$(dirname "$0")/../.."
root=$PWD
build=${QUORL_FUZZ_BUILD:-$root/build-fuzz}

# clang and its libFuzzer runtime (the program's own packages come from setup.sh, which
# CI runs first; the program itself needs neither).
tools/install-packages.sh clang libclang-rt-14-dev

names=("$@")
if ((${#names[@]} == 0)); then
  for src in tests/fuzz/*_fuzz.cpp; do
    n=$(basename "$src" .cpp)
    names+=("${n%_fuzz}")
  done
fi

mapfile -t launcher < <(./setup.sh --launcher)  # ccache, shared with the other build folders
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DQUORL_FUZZ=ON -DQUORL_SANITIZE=address,undefined \
  -DQUORL_TESTS=OFF -DQUORL_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${names[@]/%/_fuzz}"

# A smaller quarantine than ASan's 256 MB: on a loaded machine, recycling it can stall one
# input for seconds; 25 s per input still catches real hangs.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# One target runs on one core: as many run at once as there are processors, each still for
# the whole SECONDS; the reports follow in the targets' order.
fuzz_one() {
  local name=$1 work=$build/run/$1 args status
  args=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$work/findings/")
  [ -f "tests/fuzz/$name.dict" ] && args+=(-dict="tests/fuzz/$name.dict")
  # New inputs go into the first (scratch) folder; the committed seeds are only read.
  if "$build/fuzz/${name}_fuzz" "${args[@]}" "$work/corpus" "tests/fuzz/corpus/$name" \
       >"$work/log" 2>&1; then
    status=0
  else
    status=$?
  fi
  echo "$status" >"$work/status"
}
running=0
for name in "${names[@]}"; do
  work=$build/run/$name
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  if ((running >= $(nproc))); then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzz: $name for $seconds s"
  fuzz_one "$name" &
  running=$((running + 1))
done
wait

failed=()
for name in "${names[@]}"; do
  work=$build/run/$name
  status=$(cat "$work/status" 2>/dev/null || echo "none")
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$work/log" |
    sed "s/^/fuzz: $name /" || true
  found=("$work"/findings/*)
  if [ "$status" != 0 ] || [ -e "${found[0]}" ]; then
    failed+=("$name")
    echo "fuzz: $name FAILED (exit $status); its report:"
    # From the sanitizer's or libFuzzer's first report line on; the whole log stays in $work.
    awk '/ERROR|runtime error|deadly signal|ALARM|out-of-memory|SUMMARY/ {on = 1}
         on && n++ < 60' "$work/log"
    for f in "${found[@]}"; do
      [ -e "$f" ] || continue
      echo "fuzz: $name input $(basename "$f") ($(stat -c %s "$f") bytes), base64:"
      base64 -w 76 "$f"
    done
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: failures in ${failed[*]}"
  exit 1
fi
echo "fuzz: ${names[*]} ran $seconds s each without a finding"
