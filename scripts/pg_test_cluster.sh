#!/usr/bin/env bash
# scripts/pg_test_cluster.sh start|stop DIR PORT
# A private PostgreSQL cluster for the tests: made in DIR (owned by the
# `postgres` user), listening on 127.0.0.1:PORT only, without the waits for
# the disk a real book needs (the tests' databases are thrown away).
set -euo pipefail
cmd=$1 dir=$(realpath -m "$2") port=$3
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
as_pg() { runuser -u postgres -- "$@"; }
case "$cmd" in
start)
  rm -rf "$dir"
  mkdir -p "$dir"
  chown postgres: "$dir"
  as_pg "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 > "$dir/initdb.log"
  as_pg "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start -o \
    "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir -c fsync=off \
     -c full_page_writes=off -c synchronous_commit=off -c max_connections=300 -c shared_buffers=256MB" > /dev/null
  ;;
stop)
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_pg "$bin/pg_ctl" -D "$dir/data" -w -t 60 -m immediate stop > /dev/null || true
  fi
  ;;
esac
