#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them.
#   scripts/fuzz.sh SECONDS [TARGET...]  runs each target (all by default) for SECONDS; what it
#                                        finds new goes into fuzz/corpus/<target>
#   scripts/fuzz.sh --smoke              runs every target briefly with a fixed seed over the
#                                        committed corpus, adding nothing to it (used by CI)
# Seeds come from our own writers (fuzz/seeds); a finding stops the script with its input in
# build-fuzz/<target>-*, which then belongs in fuzz/regressions/<target> once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
smoke=0
if [ "${1:-}" = "--smoke" ]; then smoke=1; seconds=20; shift; else seconds=${1:-60}; shift || true; fi

if ! dpkg -s clang-14 libclang-rt-14-dev >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang-14 libclang-rt-14-dev >/dev/null
fi
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DERTKIT_FUZZ=ON -DERTKIT_BUILD_BENCH=OFF -DERTKIT_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target ertkit_fuzz_all

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build-fuzz/fuzz/ertkit_fuzz_seeds "$work/seeds"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
for t in "${targets[@]}"; do
  mkdir -p "fuzz/corpus/$t" "$work/new-$t" "$work/tmp-$t"
  if [ $smoke -eq 1 ]; then
    corpus=("$work/new-$t" "fuzz/corpus/$t" "$work/seeds/$t")
    extra=(-seed=1)
  else
    corpus=("fuzz/corpus/$t" "$work/seeds/$t")
    extra=()
  fi
  # Inputs that once found a fault are replayed by every run.
  [ -d "fuzz/regressions/$t" ] && corpus+=("fuzz/regressions/$t")
  echo "== $t: ${seconds}s"
  status=0
  # Each target gets its own temporary folder: the download writes its transfer file there.
  TMPDIR="$work/tmp-$t" build-fuzz/fuzz/"$t" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/$t-" "${extra[@]}" "${corpus[@]}" >"$work/log" 2>&1 || status=$?
  grep -E "^(stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|#[0-9]+[[:space:]]+(DONE|INITED)|==[0-9]+==|SUMMARY)" "$work/log" || true
  if [ $status -ne 0 ]; then
    tail -n 60 "$work/log"
    echo "$t found a fault (exit $status); the input is in build-fuzz/$t-*"
    exit 1
  fi
done
