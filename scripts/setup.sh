#!/usr/bin/env bash
# Installs what ertkit needs to build and test on a fresh Debian machine.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libfmt-dev libexpat1-dev
          pybind11-dev python3-dev python3-numpy python3-pytest
          python3-pandas python3-matplotlib python3-dask python3-distributed
          python3-cloudpickle python3-tqdm
          libcpp-httplib-dev chromium chromium-driver python3-selenium)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
