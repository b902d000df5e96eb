#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests and the server demo.
#
#   scripts/pg-cluster.sh start DIR   makes and starts a cluster in DIR
#   scripts/pg-cluster.sh restart DIR restarts its server (fast: sessions end)
#   scripts/pg-cluster.sh stop DIR    stops it and removes DIR
#
# The server listens on a Unix socket only (no TCP port), in DIR or, when DIR
# is too long for a socket path, in a short /tmp/velkpg.XXXXXX folder; DIR/host
# names that folder and DIR/uri is the URI of the superuser velk's database
# velk. A second role, velk_plain (password velk_plain_pw, checked with
# SCRAM), may connect but not create tables: the tests of privileges and
# passwords use it. fsync is off: the cluster is thrown away.
#
# The server binaries are looked for in $VELK_PG_BINDIR, or else
# /usr/lib/postgresql/15/bin. Without them start prints "skipped: no
# PostgreSQL" and succeeds, unless VELK_REQUIRE_PG=1 asks for a server, when it
# fails. Run as root, the cluster belongs to the user velkpg (created if
# missing), as PostgreSQL refuses to run as root.
set -euo pipefail

action=${1:-}
dir=${2:-}
if [ -z "$action" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|restart|stop DIR" >&2
  exit 2
fi

# VELK_PG_BINDIR, when set, is the only place looked in (a folder without
# the binaries shows what the tests do on a machine without a server).
bindir=""
for candidate in ${VELK_PG_BINDIR:-/usr/lib/postgresql/15/bin}; do
  if [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ]; then
    bindir=$candidate
    break
  fi
done

# Runs a server binary as the cluster's owner.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u velkpg -- "$@"
  else
    "$@"
  fi
}

stop_cluster() {
  [ -d "$dir" ] || return 0
  if [ -n "$bindir" ] && [ -f "$dir/data/postmaster.pid" ]; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >"$dir/stop.log" 2>&1 || cat "$dir/stop.log" "$dir/server.log" >&2 || true
  fi
  if [ -f "$dir/host" ]; then
    host=$(cat "$dir/host")
    case "$host" in /tmp/velkpg.*) rm -rf "$host" ;; esac
  fi
  rm -rf "$dir"
}

case "$action" in
stop)
  stop_cluster
  exit 0
  ;;
restart)
  # The server ends every session at once, as when its machine is restarted,
  # and is back accepting connections when this returns.
  if [ -z "$bindir" ] || [ ! -f "$dir/data/postmaster.pid" ]; then
    echo "pg-cluster: no running cluster in $dir" >&2
    exit 1
  fi
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -m fast -w -t 60 restart >"$dir/restart.log" 2>&1 || {
    cat "$dir/restart.log" "$dir/server.log" >&2
    exit 1
  }
  exit 0
  ;;
start) ;;
*)
  echo "usage: $0 start|restart|stop DIR" >&2
  exit 2
  ;;
esac

if [ -z "$bindir" ]; then
  if [ "${VELK_REQUIRE_PG:-0}" = 1 ]; then
    echo "pg-cluster: no PostgreSQL server binaries (set VELK_PG_BINDIR), and VELK_REQUIRE_PG=1 asks for them" >&2
    exit 1
  fi
  echo "skipped: no PostgreSQL"
  exit 0
fi

stop_cluster # what an earlier run left behind
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
if [ "$(id -u)" -eq 0 ]; then
  id velkpg >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin velkpg
fi

# A socket path holds at most 107 bytes: ".s.PGSQL.5432" goes after the folder.
host=$dir
if [ ${#host} -gt 80 ]; then
  host=$(mktemp -d /tmp/velkpg.XXXXXX)
fi
echo "$host" >"$dir/host"
mkdir -p "$dir/data"
if [ "$(id -u)" -eq 0 ]; then
  # The server writes its log into DIR and its socket into the host folder.
  chown velkpg "$dir" "$dir/data" "$host"
fi

pwfile=$(mktemp)
echo velk >"$pwfile"
chmod a+r "$pwfile"
as_owner "$bindir/initdb" -D "$dir/data" -U velk --pwfile="$pwfile" -E UTF8 --locale=C.UTF-8 \
  --auth-local=scram-sha-256 --auth-host=scram-sha-256 >"$dir/initdb.log" 2>&1 || {
  rm -f "$pwfile"
  cat "$dir/initdb.log" >&2
  exit 1
}
rm -f "$pwfile"
# velk may connect without a password over the socket; velk_plain must give its own.
{
  echo "local all velk trust"
  echo "local all all scram-sha-256"
} >"$dir/data/pg_hba.conf"
cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$host'
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 60
password_encryption = scram-sha-256
EOF
as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null || {
  cat "$dir/server.log" >&2
  exit 1
}

psql_bin="$bindir/psql"
"$psql_bin" -X -q -h "$host" -U velk -d postgres -v ON_ERROR_STOP=1 <<'EOF'
CREATE DATABASE velk;
CREATE ROLE velk_plain LOGIN PASSWORD 'velk_plain_pw';
EOF
"$psql_bin" -X -q -h "$host" -U velk -d velk -v ON_ERROR_STOP=1 -c "REVOKE CREATE ON SCHEMA public FROM PUBLIC"
enc_host=${host//\//%2F}
echo "postgresql://velk@$enc_host/velk" >"$dir/uri"
echo "$bindir" >"$dir/bindir"
echo "pg-cluster: started in $dir (socket in $host)"
