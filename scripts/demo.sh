#!/usr/bin/env bash
# The main job: builds ertkit, writes a sample recording and shows what the reader sees.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DERTKIT_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"
build/tools/ertkit --help
