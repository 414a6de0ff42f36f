#!/usr/bin/env bash
# The golden outputs of the command-line tool: the sample survey (seed 1) written by
# `ertkit sample`, and what `info`, `export` (csv, json, udf, general-array), `plot` and `reprocess`
# make of its files.
#
#   scripts/golden.sh TOOL            rewrites tests/golden from TOOL (review the diff, commit)
#   scripts/golden.sh --check TOOL    compares TOOL's outputs with tests/golden byte for byte
#
# Result files are kept as text, to be read in a review. The recordings' exports run to
# megabytes, so only their SHA-256 sums are kept, with those of the sample files themselves.
set -euo pipefail

check=0
if [[ ${1:-} == --check ]]; then
  check=1
  shift
fi
if [[ $# -ne 1 ]]; then
  echo "usage: $0 [--check] TOOL" >&2
  exit 2
fi
tool=$(realpath "$1")
golden=$(realpath "$(dirname "$0")/../tests/golden")
seed=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out="$work/golden"
mkdir -p "$out"

# Everything runs inside the work folder so that the outputs name files, not temporary paths.
cd "$work"
"$tool" --quiet sample survey --seed "$seed" >"$out/sample.txt"
cd survey
recordings=(vp123-4567@061423_083000.vmn in124-4568@061423_083000.iab vp123-4567@061423_083420.vmn in124-4568@061423_083420.iab)
results=(line1.binx line1-wenner.bin line1-reciprocal.binx)
sha256sum "${recordings[@]}" "${results[@]}" >"$out/sample-files.sha256"
"$tool" --quiet info "${recordings[@]}" "${results[@]}" >"$out/info.txt"
for file in "${results[@]}"; do
  for format in csv json udf general-array; do
    "$tool" --quiet export "$file" -f "$format" -o "$out/$file.$format"
  done
  "$tool" --quiet plot "$file" -o "$out/$file.section.svg"
done
"$tool" --quiet plot line1.binx --record 3 -o "$out/line1.binx.record3.svg"
# A legacy record stores no stack: its plot computes one from the recording beside it.
"$tool" --quiet plot line1-wenner.bin --record 3 -o "$out/line1-wenner.bin.record3.svg"
"$tool" --quiet plot line1.binx --quantity m --fill -o "$out/line1.binx.section-m-fill.svg"
# Reprocessing from the recordings: the report of each record and what the output holds. The
# median takes the spike burst out of six readings; a legacy file gives BINX records in its folder.
reprocessed=(line1-median.binx line1-wenner-mean.binx)
"$tool" --quiet reprocess line1.binx --stack median -o "${reprocessed[0]}" --report "$out/line1.binx.reprocess-median.csv" >"$out/reprocess.txt"
"$tool" --quiet reprocess line1-wenner.bin -o "${reprocessed[1]}" --report "$out/line1-wenner.bin.reprocess-mean.csv" >>"$out/reprocess.txt"
"$tool" --quiet info "${reprocessed[@]}" >"$out/reprocess-info.txt"
rm "${reprocessed[@]}"
for file in "${recordings[@]}"; do
  for format in csv json; do
    "$tool" --quiet export "$file" -f "$format" -o "$work/$file.$format"
  done
done
(cd "$work" && for file in "${recordings[@]}"; do sha256sum "$file.csv" "$file.json"; done) >"$out/recording-exports.sha256"

if [[ $check -eq 1 ]]; then
  if ! diff -r "$golden" "$out" >"$work/diff"; then
    head -n 60 "$work/diff"
    echo "the tool's outputs differ from tests/golden (scripts/golden.sh TOOL rewrites them)" >&2
    exit 1
  fi
  echo "the tool's outputs match tests/golden"
else
  rm -rf "$golden"
  cp -r "$out" "$golden"
  echo "tests/golden rewritten; review the changes before committing them"
fi
