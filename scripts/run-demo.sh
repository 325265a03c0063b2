#!/usr/bin/env bash
# Starts the reference server on its sample database (a fresh data folder, a
# free port), runs the command-line client against it as a user would, and
# stops the server again. Needs the native build (scripts/demo.sh makes it).
set -u
cd "$(dirname "$0")/.."
dorvd=build/native/server/dorvd
dorv=build/native/tools/dorv/dorv
data=$(mktemp -d /tmp/dorv-demo.XXXXXX)
log="$data.log"
. scripts/lib/dorvd.sh
start_dorvd "$dorvd" "$data" "$log" --allow-host-commands || exit 1
server=$dorvd_pid
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$data" "$log"' EXIT

run() {
  echo
  printf '$ dorv'
  for a in "$@"; do case "$a" in *[\ \'\;]*) printf ' "%s"' "$a" ;; *) printf ' %s' "$a" ;; esac; done
  echo
  "$dorv" "$@"
}

echo "=== dorvd is listening on 127.0.0.1:$port with its sample database"
run -s 127.0.0.1 -p "$port" version
run -s 127.0.0.1 -p "$port" exec "OPEN DATABASE 'sample'" \
  query "select id, name, city, country, customer_since from customers order by id"
run -s 127.0.0.1 -p "$port" exec "OPEN DATABASE 'sample'" \
  query "select c.name, p.name as product, o.quantity, o.amount from orders o join customers c on c.id = o.customer_id join products p on p.id = o.product_id order by o.id"
run -s 127.0.0.1 -p "$port" exec "OPEN DATABASE 'sample'" csv "select * from products order by id"
run -s 127.0.0.1 -p "$port" exec "OPEN DATABASE 'secret' AS 'geheim'" values "select * from salaries" 2>&1 || true
run -s 127.0.0.1 -p "$port" exec "OPEN DATABASE 'secret' AS 'wrong'" 2>&1 || true
config="$data/demo.ini"
cat >"$config" <<INI
[Global]
Transport=WINSOCK
Server=127.0.0.1
Service=$port

[sample]
Database=sample

[secret]
Database=secret
Password=geheim

[reports]
DBopen=sample,secret
INI
echo
echo "=== a configured connection ($config, section reports) opens both databases:"
sed 's/^/    /' "$config"
run -c "$config" -S reports query "select employee, salary, paid_on from secret.salaries order by salary desc"
run -c "$config" -S reports query "select count(*) as customers, (select count(*) from secret.salaries) as salaries from customers"
run -s 127.0.0.1 -p "$port" echo "Hello, Dorv"
run -s 127.0.0.1 -p "$port" host "uname -sr; date +%Y"
echo
echo "=== stopping dorvd"
kill $server
wait $server 2>/dev/null
tail -3 "$log"
