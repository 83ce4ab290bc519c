#!/usr/bin/env bash
# ./run.sh [--prepare-only] [PROGRAM [ARGUMENTS...]]
# Installs what is missing, builds, prepares the application folder build/bin
# (system.ini, DB.udl, Tab.ini, Report/, demo database demo.db) and starts
# PROGRAM (default: WKE410 /S). With --prepare-only it stops after preparing.
# Without a display the program runs on a virtual one (xvfb-run).
set -euo pipefail
cd "$(dirname "$0")"
prepare_only=0
if [ "${1:-}" = "--prepare-only" ]; then prepare_only=1; shift; fi

./setup.sh
APP=build/bin
build/bin/mkdemodb "$APP/demo.db"
echo "Application folder: $(pwd)/$APP"
[ $prepare_only -eq 1 ] && exit 0

program=${1:-WKE410}
[ $# -gt 0 ] && shift
args=("$@")
[ ${#args[@]} -eq 0 ] && args=("/S")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1366x768x24" "$APP/$program" "${args[@]}"
fi
exec "$APP/$program" "${args[@]}"
