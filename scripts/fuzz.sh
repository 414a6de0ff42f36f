#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a while.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Corpora grow in fuzz/corpus/<target>; seeds come from our own writers.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
if ! command -v clang++-14 >/dev/null; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang-14 libclang-rt-14-dev >/dev/null
fi
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DERTKIT_FUZZ=ON -DERTKIT_BUILD_BENCH=OFF -DERTKIT_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"
seeds=$(mktemp -d)
build-fuzz/fuzz/ertkit_fuzz_seeds "$seeds"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in build-fuzz/fuzz/fuzz_*; do targets+=("$(basename "$t")"); done
fi
log=$(mktemp)
trap 'rm -rf "$seeds" "$log"' EXIT
for t in "${targets[@]}"; do
  mkdir -p "fuzz/corpus/$t"
  echo "== $t: ${seconds}s"
  status=0
  build-fuzz/fuzz/"$t" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/$t-" "fuzz/corpus/$t" "$seeds/$t" >"$log" 2>&1 || status=$?
  grep -E "^(stat::|#[0-9]+[[:space:]]+DONE|==[0-9]+==|SUMMARY)" "$log" || true
  if [ $status -ne 0 ]; then
    tail -n 60 "$log"
    echo "$t found a fault (exit $status); the input is in build-fuzz/$t-*"
    exit 1
  fi
done
