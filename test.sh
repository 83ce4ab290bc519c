#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first on SQLite
# (window tests run offscreen, each on a database file of its own), then
# again on a PostgreSQL server, a private cluster started for the run (each
# test on a database of its own) and stopped afterwards whatever happens.
# The tests about the SQLite file itself (locked, read-only, damaged, the
# write-ahead log, a full disk, commit faults, the program's hold on the
# file, the statement cache) run on SQLite only.
set -uo pipefail
cd "$(dirname "$0")"
./setup.sh || exit 1
ctest --test-dir build --output-on-failure -j "$(nproc)"
sqlite=$?

# The cluster lies under build/ unless the `postgres` user cannot reach it
# there (a checkout in a private home folder).
pgdir=build/pgtest
runuser -u postgres -- test -x "$PWD/build" || pgdir=$(mktemp -d /tmp/tavik-pgtest.XXXXXX)
# A port of its own: the first one free from 55439 on (another checkout's
# tests may be running on this machine).
pgport=55439
while (echo > "/dev/tcp/127.0.0.1/$pgport") 2> /dev/null; do pgport=$((pgport + 1)); done
trap 'scripts/pg_test_cluster.sh stop "$pgdir" "$pgport"' EXIT
scripts/pg_test_cluster.sh start "$pgdir" "$pgport" || exit 1
TAVIK_TEST_ENGINE=postgres TAVIK_TEST_PG_SERVER="127.0.0.1:$pgport" \
  ctest --test-dir build --output-on-failure -j "$(nproc)" -E "$(paste -sd'|' tests/sqlite_only.txt)"
postgres=$?
[ "$sqlite" -eq 0 ] && [ "$postgres" -eq 0 ]
