#!/usr/bin/env bash
# CPU per request at pollevery 1, beside lighttpd's on the same machine in
# the same run: the server's CPU time (from the scheduler's statistics of
# its process) over a bounded ab run of a small file, 10 clients at a time.
#
#   bench/cpu_per_request.sh [requests]     (default 20000)
set -euo pipefail
. "$(dirname "$0")/common.sh"
cpu_requests=${1:-20000}

ensure_packages apache2-utils lighttpd >&2
build_server
trap 'cleanup_home; stop_lighttpd' EXIT

SMALL_SIZE=512
write_site() {
  head -c "$SMALL_SIZE" /dev/zero | tr '\0' 'x' > "$BENCH_HOME/html/small.txt"
}

# CPU per request of one server process over an ab run.
cpu_per_request() {  # pid port
  local before after
  before=$(cpu_ns "$1")
  ab -q -n "$cpu_requests" -c 10 "http://127.0.0.1:$2/small.txt" >/dev/null 2>&1
  after=$(cpu_ns "$1")
  awk -v b="$before" -v a="$after" -v n="$cpu_requests" 'BEGIN { printf "%.1f", (a - b) / n / 1000 }'
}

LIGHTTPD_PID=""
stop_lighttpd() {
  [ -n "$LIGHTTPD_PID" ] && kill "$LIGHTTPD_PID" 2>/dev/null && wait "$LIGHTTPD_PID" 2>/dev/null
  LIGHTTPD_PID=""
}

echo "== CPU per request at pollevery 1, $cpu_requests requests of a $SMALL_SIZE-byte file"
make_home "pollevery=1"
write_site
lighttpd_port=$(free_port)
cat > "$BENCH_HOME/lighttpd.conf" <<CONF
server.document-root = "$BENCH_HOME/html"
server.port = $lighttpd_port
server.bind = "127.0.0.1"
server.errorlog = "$BENCH_HOME/lighttpd-error.log"
mimetype.assign = (".txt" => "text/plain")
CONF
lighttpd -D -f "$BENCH_HOME/lighttpd.conf" &
LIGHTTPD_PID=$!
sleep 0.5
ab -q -n 200 -c 10 "http://127.0.0.1:$lighttpd_port/small.txt" >/dev/null 2>&1
lighttpd_us=$(cpu_per_request "$LIGHTTPD_PID" "$lighttpd_port")
stop_lighttpd
cleanup_home

# qxserver_us COUNTERS: the server's CPU per request with both counters 0 or 1.
qxserver_us() {
  make_home "pollevery=1" "countfilehits=$1" "countreferer=$1"
  write_site
  start_server
  ab -q -n 200 -c 10 "http://127.0.0.1:$HTTP_PORT/small.txt" >/dev/null 2>&1
  cpu_per_request "$SERVER_PID" "$HTTP_PORT"
  cleanup_home
}
plain_us=$(qxserver_us 0)
counted_us=$(qxserver_us 1)

awk -v l="$lighttpd_us" -v p="$plain_us" -v c="$counted_us" 'BEGIN {
  printf "lighttpd:                     %6.1f us/request\n", l
  printf "qxserver, counters off:       %6.1f us/request = %.2fx lighttpd (target <= 1.00)\n", p, p / l
  printf "qxserver, every counter on:   %6.1f us/request = %.2fx lighttpd (target <= 1.50)\n", c, c / l
}'
