#!/usr/bin/env bash
# A throw-away PostgreSQL cluster in a temporary folder, reachable only
# through a Unix socket in that folder (no TCP). Installs nothing: Debian's
# postgresql package must be there (scripts/install-deps.sh).
#
# Sourced:  . scripts/lib/pg_cluster.sh; pg_cluster_start && ...; pg_cluster_stop
#           pg_cluster_start sets and exports DORV_PG_CLUSTER (the folder) and
#           DORV_TEST_PG (the libpq connection string).
# Run:      eval "$(scripts/lib/pg_cluster.sh start)"   prints the two exports
#           scripts/lib/pg_cluster.sh stop [FOLDER]      stops it, removes the folder
#
# The cluster is prepared by dorvd's own set-up command (`dorvd
# setup-postgresql`, from DORVD or build/native/server/dorvd), so the tests
# run the real set-up: dorvd connects as its administrative role "dorvd" (no
# superuser) to the database "dorv"; its client sessions log in as the roles
# the set-up and dorvd make, with passwords (scram-sha-256), while "postgres"
# and "dorvd" are trusted on the folder's socket. temp_file_limit is 64 MB
# (DORV_PG_TEMP_FILE_LIMIT changes it), so the tests that fill it are quick.

pg_cluster_bin() {
  local dir
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ] && { echo "$dir"; return 0; }
  done
  command -v pg_config >/dev/null 2>&1 && [ -x "$(pg_config --bindir)/initdb" ] && {
    pg_config --bindir
    return 0
  }
  return 1
}

# Runs a command as the cluster's owner: "postgres" when we are root
# (PostgreSQL refuses to run as root), else ourselves.
pg_cluster_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

pg_cluster_dorvd() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  echo "${DORVD:-$root/build/native/server/dorvd}"
}

pg_cluster_start() {
  local bin folder log dorvd
  dorvd=$(pg_cluster_dorvd)
  if [ ! -x "$dorvd" ]; then
    echo "pg_cluster: PostgreSQL cannot be set up: $dorvd is not built (its set-up command prepares the cluster)" >&2
    return 1
  fi
  bin=$(pg_cluster_bin) || {
    echo "pg_cluster: PostgreSQL cannot be started: initdb and pg_ctl not found (install postgresql)" >&2
    return 1
  }
  if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    echo "pg_cluster: PostgreSQL cannot be started: no user postgres to run it as" >&2
    return 1
  fi
  folder=$(mktemp -d /tmp/dorv-pg.XXXXXX) || return 1
  [ "$(id -u)" -eq 0 ] && chown postgres "$folder"
  log="$folder/server.log"
  if ! pg_cluster_as_owner "$bin/initdb" -D "$folder/data" -U postgres -A trust -E UTF8 \
    --no-locale >"$folder/initdb.log" 2>&1; then
    echo "pg_cluster: PostgreSQL cannot be started: initdb failed: $(tail -n 1 "$folder/initdb.log")" >&2
    rm -rf "$folder"
    return 1
  fi
  # The socket only; every role but the two of the set-up logs in with its password.
  printf '%s\n' 'local all postgres trust' 'local all dorvd trust' \
    'local all all scram-sha-256' >"$folder/data/pg_hba.conf"
  # Only the socket in the folder; room for many dorvd sessions; no fsync,
  # as the cluster is thrown away.
  if ! pg_cluster_as_owner "$bin/pg_ctl" -D "$folder/data" -l "$log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$folder' -c max_connections=300 -c fsync=off -c full_page_writes=off" \
    start >/dev/null 2>&1; then
    echo "pg_cluster: PostgreSQL cannot be started: $(tail -n 1 "$log" 2>/dev/null)" >&2
    rm -rf "$folder"
    return 1
  fi
  if ! "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$folder" -U postgres -d postgres \
    -c "CREATE DATABASE dorv" >"$folder/setup.log" 2>&1 ||
    ! "$dorvd" setup-postgresql --pg "host=$folder user=postgres dbname=dorv" --admin-role dorvd \
      --temp-file-limit "${DORV_PG_TEMP_FILE_LIMIT:-64M}" >>"$folder/setup.log" 2>&1; then
    echo "pg_cluster: PostgreSQL started but cannot be set up: $(tail -n 1 "$folder/setup.log")" >&2
    pg_cluster_stop "$folder"
    return 1
  fi
  export DORV_PG_CLUSTER="$folder"
  export DORV_TEST_PG="host=$folder user=dorvd dbname=dorv"
}

pg_cluster_stop() {
  local folder=${1:-${DORV_PG_CLUSTER:-}} bin
  [ -n "$folder" ] && [ -d "$folder" ] || return 0
  case "$folder" in /tmp/dorv-pg.*) ;; *) echo "pg_cluster: $folder is no cluster folder" >&2; return 1 ;; esac
  bin=$(pg_cluster_bin) && [ -d "$folder/data" ] &&
    pg_cluster_as_owner "$bin/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null 2>&1
  rm -rf "$folder"
  [ "${DORV_PG_CLUSTER:-}" = "$folder" ] && unset DORV_PG_CLUSTER DORV_TEST_PG
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-}" in
  start)
    pg_cluster_start || exit 1
    printf 'export DORV_PG_CLUSTER=%q\nexport DORV_TEST_PG=%q\n' "$DORV_PG_CLUSTER" "$DORV_TEST_PG"
    ;;
  stop) pg_cluster_stop "${2:-}" ;;
  *)
    echo "usage: $0 start | stop [FOLDER]" >&2
    exit 2
    ;;
  esac
fi
