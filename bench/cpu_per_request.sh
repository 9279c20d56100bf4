#!/usr/bin/env bash
# CPU per request at pollevery 1, beside lighttpd's on the same machine in
# the same run: each server's CPU time (from the scheduler's statistics of
# its process) over a bounded ab run of a small file, under two loads:
#
#   one client   requests one after another: both servers wait for each one,
#                so both pay the machine's cost of waking up per request;
#   ten clients  lighttpd never waits (it answers as fast as ab asks), while
#                qxserver answers at most one request per tick by design and
#                waits for the tick in between: it still pays a wake-up per
#                request, lighttpd does not.
#
# The one-client figures compare the two servers' work for the same request
# stream. The difference between lighttpd's two figures is what one wake-up
# costs on this machine; the ten-client ratio is mostly that cost.
#
#   bench/cpu_per_request.sh [requests]     (per run, default 20000)
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

# cpu_per_request PID PORT CLIENTS: microseconds of CPU per request of one
# server process over an ab run; fails unless every request was answered.
cpu_per_request() {
  local before after out
  ab -q -n 200 -c "$3" "http://127.0.0.1:$2/small.txt" >/dev/null 2>&1
  before=$(cpu_ns "$1")
  out=$(ab -q -n "$cpu_requests" -c "$3" "http://127.0.0.1:$2/small.txt" 2>&1)
  after=$(cpu_ns "$1")
  if ! grep -q "^Complete requests: *$cpu_requests$" <<< "$out" ||
     ! grep -q '^Failed requests: *0$' <<< "$out"; then
    echo "$out" >&2
    return 1
  fi
  awk -v b="$before" -v a="$after" -v n="$cpu_requests" 'BEGIN { printf "%.1f", (a - b) / n / 1000 }'
}

LIGHTTPD_PID=""
stop_lighttpd() {
  [ -n "$LIGHTTPD_PID" ] && kill "$LIGHTTPD_PID" 2>/dev/null && wait "$LIGHTTPD_PID" 2>/dev/null
  LIGHTTPD_PID=""
}

echo "== CPU per request at pollevery 1, $cpu_requests requests of a $SMALL_SIZE-byte file per run"
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
lighttpd_one=$(cpu_per_request "$LIGHTTPD_PID" "$lighttpd_port" 1)
lighttpd_ten=$(cpu_per_request "$LIGHTTPD_PID" "$lighttpd_port" 10)
stop_lighttpd
cleanup_home

# qxserver_us COUNTERS CLIENTS: the server's CPU per request with both
# counters 0 or 1, in a fresh home.
qxserver_us() {
  make_home "pollevery=1" "countfilehits=$1" "countreferer=$1"
  write_site
  start_server
  cpu_per_request "$SERVER_PID" "$HTTP_PORT" "$2"
  cleanup_home
}
plain_one=$(qxserver_us 0 1)
counted_one=$(qxserver_us 1 1)
plain_ten=$(qxserver_us 0 10)
counted_ten=$(qxserver_us 1 10)

awk -v l1="$lighttpd_one" -v l10="$lighttpd_ten" -v p1="$plain_one" -v p10="$plain_ten" \
    -v c1="$counted_one" -v c10="$counted_ten" 'BEGIN {
  printf "                              one client     ten clients   (us/request)\n"
  printf "lighttpd                      %10.1f      %10.1f\n", l1, l10
  printf "qxserver, counters off        %10.1f      %10.1f\n", p1, p10
  printf "qxserver, every counter on    %10.1f      %10.1f\n", c1, c10
  printf "one client:  counters off %.2fx lighttpd (target <= 1.00), every counter on %.2fx (target <= 1.50)\n", p1 / l1, c1 / l1
  printf "ten clients: counters off %.2fx lighttpd (target <= 1.00), every counter on %.2fx (target <= 1.50)\n", p10 / l10, c10 / l10
  printf "a wake-up per request costs lighttpd %.1f us on this machine (one client - ten clients)\n", l1 - l10
}'
