#!/usr/bin/env bash
# Runs a command beside a throwaway PostgreSQL server, for the library server's tests:
#
#   scripts/with-postgres.sh CMD [ARG...]
#
# A fresh cluster in a temporary folder, reachable only through a Unix socket in that folder
# (no TCP port, so runs on one machine never meet), with a database "quovis" that the user
# "quovis" may use without a password. CMD sees its address in QUOVIS_TEST_POSTGRES, a libpq
# connection URL. Afterwards the server is stopped and the folder removed, whatever CMD did;
# the exit code is CMD's.
#
# PostgreSQL refuses to run as root: as root (CI), the server runs as the system user
# "quovis-pg", created when missing; otherwise as the calling user.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 CMD [ARG...]" >&2
  exit 2
fi

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "$0: PostgreSQL's server programs are missing (scripts/install-deps.sh installs them)" >&2
  exit 1
fi

as_server=()
if [ "$(id -u)" -eq 0 ]; then
  if ! id quovis-pg >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin quovis-pg
  fi
  as_server=(runuser -u quovis-pg --)
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/quovis-pg.XXXXXX")
if [ ${#as_server[@]} -ne 0 ]; then chown quovis-pg "$dir"; fi
# Readable by all: the socket lives here, and the tests may run as another user than the server.
chmod 755 "$dir"

cleanup() {
  if [ -f "$dir/data/postmaster.pid" ]; then
    "${as_server[@]}" "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! "${as_server[@]}" "$bindir/initdb" -D "$dir/data" -A trust -U quovis -E UTF8 \
  --locale=C.UTF-8 >"$dir/initdb.log" 2>&1; then
  cat "$dir/initdb.log" >&2
  exit 1
fi
if ! "${as_server[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/log" -w \
  -o "-k $dir -c listen_addresses='' -c fsync=off -c max_connections=200" start >/dev/null; then
  cat "$dir/log" >&2
  exit 1
fi
"${as_server[@]}" "$bindir/createdb" -h "$dir" -U quovis quovis

export QUOVIS_TEST_POSTGRES="postgresql://quovis@/quovis?host=$dir"
set +e
"$@"
rc=$?
set -e
exit $rc
