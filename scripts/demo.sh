#!/usr/bin/env bash
# The main job: installs what is missing, builds the ertkit tool, writes a sample survey in a
# temporary folder, summarises, exports, plots, reprocesses and quality-controls it, processes a
# noisy survey beyond the meter against its planted truth, then downloads measures from the meter
# simulator as from a real meter. Everything it writes stays in the folder it prints.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
echo "== building the ertkit tool (a few minutes the first time) =="
cmake -S . -B build -DERTKIT_BUILD_BENCH=OFF >/dev/null
build_log=$(mktemp)
if ! cmake --build build -j"$(nproc)" --target ertkit-cli 2>&1 | tee "$build_log" |
     awk 'match($0, /^\[ *[0-9]+%\]/) { printf "\r  %s", substr($0, RSTART, RLENGTH); fflush() } END { print "" }'; then
  cat "$build_log"
  exit 1
fi
rm -f "$build_log"
ertkit="$PWD/build/tools/ertkit"
work=$(mktemp -d "${TMPDIR:-/tmp}/ertkit-demo.XXXXXX")
cd "$work"

step() { printf '\n== %s ==\n$ %s\n' "$1" "${*:2}"; "${@:2}"; }

step "a sample survey: recordings, a BINX file and a legacy BIN file" "$ertkit" sample survey
binx=survey/line1.binx
recording=$(ls survey/*.vmn | head -n 1)
step "what the BINX file holds" "$ertkit" info "$binx"
step "what a voltage recording holds" "$ertkit" info "$recording"
step "the readings as a table (a few of its columns)" "$ertkit" export "$binx" -f csv -o line1.csv
head -n 6 line1.csv | awk -F, '
  NR == 1 { printf "%5s %5s %5s %5s %5s %9s %8s %9s %11s %9s\n", $1, $2, $5, $8, $11, $14, $15, $17, $18, $19; next }
          { printf "%5s %5s %5s %5s %5s %9.4g %8.4g %9.4g %11.4g %9.3g\n", $1, $2, $5, $8, $11, $14, $15, $17, $18, $19 }'
step "the electrodes and data for an inversion program" "$ertkit" export "$binx" -f udf -o line1.udf
head -n 5 line1.udf
step "the same readings as JSON" "$ertkit" export "$binx" -f json -o line1.json
step "an apparent-resistivity pseudo-section" "$ertkit" plot "$binx" -o pseudosection.svg
step "one reading: stacked signal and chargeability decay" "$ertkit" plot "$binx" --record 20 -o record20.svg
step "the full-wave signals of the first injection" "$ertkit" plot "$recording" -o recording.svg
step "the legacy BIN file" "$ertkit" info survey/line1-wenner.bin
step "Vp, I and M again from the recordings, median stacking" "$ertkit" reprocess "$binx" --stack median -o median.binx --report median.csv
awk -F, '
  NR == 1 { printf "%5s %11s %14s %12s %9s %13s %10s\n", $1, $10, $11, $12, $13, $20, $21; next }
  $11 > 0 { printf "%5s %11s %14s %12.4g %9.4g %13.4g %10.4g\n", $1, $10, $11, $12, $13, $20, $21 }' median.csv
step "the reading under the spike burst, stack and decay after" "$ertkit" plot median.binx --record 14 -o record14-median.svg
step "quality control of the line measured with reciprocals: reasons and error model" \
  "$ertkit" qc survey/line1-reciprocal.binx -o line1-qc.binx --report qc.csv --model qc-model.json --plot qc.svg
step "the readings kept, with the model's errors, for an inversion program" "$ertkit" export line1-qc.binx -f udf --errors model -o line1-qc.udf
sed -n '/# a b m n/,+3p' line1-qc.udf

step "a noisy survey whose true decays are known" "$ertkit" sample noisy --noise
step "beyond the meter: polynomial drift, power line, spikes, log gates and a Cole-Cole model" \
  "$ertkit" reprocess noisy/line1.binx -o noisy-beyond.binx --report beyond.csv \
  --gates log:10:1900:5 --spikes 4 --drift-order 5 --mains 50 --cole-cole
echo "fitted against planted, readings mid-line:"
paste -d, beyond.csv noisy/line1-decay-truth.csv | awk -F, '
  NR == 1 { for (i = 1; i <= NF; ++i) at[$i] = i
            printf "%5s %6s %8s %8s %8s %8s %6s %6s\n", "index", "spikes", "m", "planted", "tau_s", "planted", "c", "planted"; next }
  NR >= 40 && NR <= 45 { printf "%5s %6s %8.4f %8.4f %8.3f %8.3f %6.3f %6.3f\n", $at["index"], $at["spikes"], $at["cc_m"], $(at["m"]),
                         $at["cc_tau_s"], $(at["tau_s"]), $at["cc_c"], $(at["c"]) }'
step "one reading with its fitted decay drawn through the gates" "$ertkit" plot noisy-beyond.binx --record 20 -o record20-beyond.svg

echo
echo "== a download from the meter simulator =="
"$ertkit" meter-sim --records 12 --seconds 120 >meter.txt &
meter=$!
trap 'kill "$meter" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s meter.txt ] && break; sleep 0.1; done
port=$(head -n 1 meter.txt)
step "download measures 0 to 11" "$ertkit" download --port "$port" --first 0 --last 11 -o downloaded.binx
kill "$meter" 2>/dev/null || true
step "what came down" "$ertkit" info downloaded.binx

echo
echo "Everything is in $work; open the .svg files in a browser."
