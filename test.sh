#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (window tests run
# offscreen, each on a database file of its own).
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
