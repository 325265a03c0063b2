#!/usr/bin/env bash
# dorvd in front of PostgreSQL: makes a throw-away cluster (scripts/lib/pg_cluster.sh,
# prepared by `dorvd setup-postgresql`), runs the PostgreSQL backend tests
# (among them the hostile-client attacks, one line each: "attack | ...")
# and a 100-client load test against it, and removes the cluster. Needs the native build (cmake --preset native &&
# cmake --build --preset native) and Debian's postgresql package.
#   scripts/test-postgresql.sh [BUILD_DIR]      (default build/native)
# Logs go to BUILD_DIR/pg-test-output.log*. Ends with
# "PostgreSQL: N passed, N failed"; exits non-zero when anything failed.
set -u
cd "$(dirname "$0")/.."
build=${1:-build/native}
log=$build/pg-test-output.log
passed=0
failed=0
for program in server/dorvd tests/server/pg_backend_test tests/load/load_test; do
  if [ ! -x "$build/$program" ]; then
    echo "postgresql: $build/$program is not built (build the native preset with libpq-dev installed)"
    echo "PostgreSQL: 0 passed, 1 failed"
    exit 1
  fi
done
# shellcheck source=lib/pg_cluster.sh
. scripts/lib/pg_cluster.sh
export DORVD="$build/server/dorvd" # its set-up command prepares the cluster
if ! pg_cluster_start 2>"$log.cluster"; then
  echo "postgresql: $(tail -n 1 "$log.cluster")"
  echo "PostgreSQL: 0 passed, 1 failed"
  exit 1
fi
trap pg_cluster_stop EXIT
"$build/tests/server/pg_backend_test" >"$log" 2>&1
rc=$?
pg_passed=$(grep -aE "^\[  PASSED  \] [0-9]+ test" "$log" | grep -oE "[0-9]+" | head -1)
pg_failed=$(grep -aE "^\[  FAILED  \] [0-9]+ test" "$log" | grep -oE "[0-9]+" | head -1)
grep -aE "^attack \| " "$log" | LC_ALL=C tr -c '\n -~' '?'
grep -aE "^\[  FAILED  \]" "$log" | head -20
passed=$((passed + ${pg_passed:-0}))
failed=$((failed + ${pg_failed:-0}))
[ $rc -ne 0 ] && [ "${pg_failed:-0}" -eq 0 ] && { tail -20 "$log"; failed=$((failed + 1)); }
# --- hostile client: the attacks of the PostgreSQL table against a live dorvd
# (tests/server/hostile_client_test.cpp), each refused or bounded.
echo "postgresql: hostile client"
if [ -x "$build/tests/server/hostile_client_test" ]; then
  "$build/tests/server/hostile_client_test" --gtest_filter='Table/PostgresqlAttack.*' >"$log.hostile" 2>&1
  rc=$?
else
  echo "postgresql: $build/tests/server/hostile_client_test is not built" >"$log.hostile"
  rc=1
fi
grep -aE "^hostile " "$log.hostile"
grep -aE "^\[  FAILED  \]" "$log.hostile" | head -20
hostile_passed=$(grep -aE "^\[  PASSED  \] [0-9]+ test" "$log.hostile" | grep -oE "[0-9]+" | head -1)
hostile_failed=$(grep -aE "^\[  FAILED  \] [0-9]+ test" "$log.hostile" | grep -oE "[0-9]+" | head -1)
passed=$((passed + ${hostile_passed:-0}))
failed=$((failed + ${hostile_failed:-0}))
[ $rc -ne 0 ] && [ "${hostile_failed:-0}" -eq 0 ] && { tail -20 "$log.hostile"; failed=$((failed + 1)); }
# --- end of hostile client.
# 100 clients at once through the PostgreSQL backend, every result checked.
# Clients make tables only in their temporary schema: the shared table is
# made beforehand, as an administrator would, by dorvd's own role.
echo "postgresql: load test, 100 clients"
if "$(pg_cluster_bin)/psql" -X -q -v ON_ERROR_STOP=1 "$DORV_TEST_PG" \
  -c "CREATE SCHEMA load" \
  -c "CREATE TABLE load.load_rows (id integer PRIMARY KEY, label varchar(40) NOT NULL, amount integer NOT NULL)" \
  -c "INSERT INTO load.load_rows SELECT id, 'row ' || id || '/' || id * 7919 % 10007, id * 37 % 1000 - 500 FROM generate_series(1, 1000) id" \
  >"$log.load" 2>&1 &&
  "$build/tests/load/load_test" --queries 100 --temp-tables --shared-made \
    -- --backend postgresql --pg "$DORV_TEST_PG" >>"$log.load" 2>&1; then
  grep -E "^(queries/s|wrong results|lost queries) " "$log.load"
  passed=$((passed + 1))
else
  grep -vE "^client=" "$log.load" | tail -20
  failed=$((failed + 1))
fi
echo "PostgreSQL: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
