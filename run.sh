#!/usr/bin/env bash
# ./run.sh [--prepare-only] [PROGRAM [ARGUMENTS...]]
# Installs what is missing, builds the programs (not the tests), prepares the
# application folder build/bin (system.ini, DB.udl, Tab.ini, Report/, demo
# database demo.db) and starts PROGRAM (default: WKE410 /S). With
# --prepare-only it stops after preparing.
# Without a display the program runs on an invisible virtual one (xvfb-run)
# until it ends, and each message it shows is written to standard error as
# well; ending this script (Ctrl-C, kill) ends the program and the virtual
# display with it.
set -euo pipefail
cd "$(dirname "$0")"
prepare_only=0
if [ "${1:-}" = "--prepare-only" ]; then prepare_only=1; shift; fi

./setup.sh WKE410 WKR430 WKR410 mkdemodb appfolder
APP=build/bin
# Without a session's runtime folder (a server, a container, root) the
# programs get one of their own, kept in build/, for their instance locks.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$(pwd)/build/runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 0700 "$XDG_RUNTIME_DIR"
fi
build/bin/mkdemodb "$APP/demo.db"
echo "Application folder: $(pwd)/$APP"
[ $prepare_only -eq 1 ] && exit 0

program=${1:-WKE410}
[ $# -gt 0 ] && shift
args=("$@")
[ ${#args[@]} -eq 0 ] && args=("/S")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: $program runs on an invisible virtual display until it ends (Ctrl-C ends it)." >&2
  work=$(mktemp -d)
  # xvfb-run, its display server and the program get a process group of
  # their own; the program writes its process id before it starts. The
  # display's authority file is kept here too, so nothing is left behind.
  touch "$work/Xauthority"
  TAVIK_MSGBOX_STDERR=1 setsid xvfb-run -a -f "$work/Xauthority" -s "-screen 0 1366x768x24" \
    bash -c 'echo $$ >"$1"; shift; exec "$@"' program "$work/pid" "$APP/$program" "${args[@]}" &
  runner=$!
  end_all() {
    trap - EXIT INT TERM HUP
    # The program first, so that xvfb-run stops its display and removes its
    # files; what is left of the group after a few seconds is ended.
    if kill -0 "$runner" 2>/dev/null && [ -s "$work/pid" ]; then
      kill -TERM "$(cat "$work/pid")" 2>/dev/null || true
    fi
    for signal in TERM KILL; do
      for _ in $(seq 50); do
        kill -0 -- "-$runner" 2>/dev/null || break
        sleep 0.1
      done
      kill -"$signal" -- "-$runner" 2>/dev/null || true
    done
    rm -rf "$work"
  }
  trap end_all EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
  status=0
  wait "$runner" || status=$?
  exit "$status"
fi
exec "$APP/$program" "${args[@]}"
