#!/usr/bin/env bash
# quovis-tool's library commands against a real quovis-library-server on a loopback port: on
# SQLite, and on PostgreSQL when QUOVIS_TEST_POSTGRES names a database (scripts/with-postgres.sh).
# Two users, each with a configuration store of their own: one shares a favorite with a
# picture, finds it, shows it, adds it (a download), updates and withdraws it; the other finds
# it too but cannot withdraw it.
#
#   tests/library_server/end_to_end.sh SERVER_PROGRAM TOOL_PROGRAM
set -euo pipefail
server_program=$1
tool=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/quovis-library-e2e.XXXXXX")
server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
trap 'stop_server; rm -rf "$work"' EXIT
fail() {
  echo "FAILED ($store): $*" >&2
  cat "$work/server.err" >&2 || true
  exit 1
}

# Runs quovis-tool as user $1 (alice or bob): a configuration store of that user's own.
as() {
  local user=$1
  shift
  XDG_CONFIG_HOME="$work/$store/$user" HOME="$work/$store/$user" "$tool" "$@"
}

start_server() {
  "$server_program" --listen 127.0.0.1:0 --database "$1" >"$work/server.out" 2>"$work/server.err" &
  server_pid=$!
  local line=""
  for _ in $(seq 100); do
    line=$(grep -m1 'listening on' "$work/server.out" || true)
    [ -n "$line" ] && break
    kill -0 "$server_pid" 2>/dev/null || fail "the server did not start"
    sleep 0.1
  done
  [ -n "$line" ] || fail "the server did not say where it listens"
  url=${line##* }
}

run_users() {
  for user in alice bob; do
    mkdir -p "$work/$store/$user"
    as "$user" config set Config LibraryServer text "$url" >/dev/null
  done
  local preset slot id out
  preset=$(as alice preset builtin "Into The Light")
  as alice favorites add "Evening Glow" "$preset" >/dev/null
  slot=$(as alice favorites list | awk '/Evening Glow/ {print $1; exit}')
  [ -n "$slot" ] || fail "the favorite was not added"
  printf '\xff\xd8\xff\xe0 a small picture' >"$work/picture.jpg"

  id=$(as alice library share "$slot" --picture "$work/picture.jpg") || fail "share failed"
  [[ "$id" =~ ^[0-9]+$ ]] || fail "share printed '$id'"
  out=$(as bob library find "evening glow") || fail "find failed"
  [[ "$out" == "$id"$'\t'"Evening Glow"* ]] || fail "find printed '$out'"
  out=$(as bob library show "$id") || fail "show failed"
  [[ "$out" == *"Downloads: 0"* ]] || fail "show printed '$out'"
  as bob library add "$id" >/dev/null || fail "add failed"
  as bob favorites list | grep -q "Evening Glow" || fail "add did not add the favorite"
  out=$(as bob library show "$id")
  [[ "$out" == *"Downloads: 1"* ]] || fail "the download was not counted: '$out'"

  as alice library update "$slot" >/dev/null || fail "update failed"
  if as bob library withdraw "$id" >/dev/null 2>&1; then fail "bob withdrew alice's item"; fi
  as bob library show "$id" >/dev/null || fail "the item went away after bob's attempt"
  as alice library withdraw "$id" >/dev/null || fail "withdraw failed"
  if as bob library show "$id" >/dev/null 2>&1; then fail "the withdrawn item is still shown"; fi
}

store=sqlite
start_server "$work/sqlite/library.db"
run_users
stop_server
echo "passed on SQLite"

if [ -z "${QUOVIS_TEST_POSTGRES:-}" ]; then
  echo "PostgreSQL left out: QUOVIS_TEST_POSTGRES is not set (run under scripts/with-postgres.sh)"
  exit 0
fi
store=postgresql
start_server "$QUOVIS_TEST_POSTGRES"
run_users
echo "passed on PostgreSQL"
