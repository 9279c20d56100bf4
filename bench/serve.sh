#!/usr/bin/env bash
# How fast the server serves, against the limits it is designed to: at most
# one connection sends per tick, so small files are answered at close to
# 1000/pollevery per second, and a large file leaves at (throttle + 1) x
# buffsize bytes per tick. Then the CPU per request at pollevery 1, beside
# lighttpd's on the same machine, and the memory after 10,000 requests.
#
#   bench/serve.sh [requests]     (default 20000 for the CPU comparison)
set -euo pipefail
. "$(dirname "$0")/common.sh"
cpu_requests=${1:-20000}

ensure_packages apache2-utils lighttpd curl >&2
build_server
trap 'cleanup_home; stop_lighttpd' EXIT

SMALL_SIZE=512
write_site() {
  head -c "$SMALL_SIZE" /dev/zero | tr '\0' 'x' > "$BENCH_HOME/html/small.txt"
  head -c $((10 * 1024 * 1024)) /dev/urandom > "$BENCH_HOME/html/big.bin"
}

# ab's requests per second for N requests from 10 concurrent clients.
rate() {
  ab -q -n "$1" -c 10 "http://127.0.0.1:$HTTP_PORT/small.txt" 2>/dev/null |
    awk '/^Requests per second/ {print $4}'
}

echo "== Small-file rate, 10 concurrent clients (limit: one answer per tick)"
for poll in 200 10; do
  make_home "pollevery=$poll"
  write_site
  start_server
  n=$(( poll == 200 ? 60 : 600 ))
  achieved=$(rate "$n")
  awk -v a="$achieved" -v p="$poll" 'BEGIN {
    limit = 1000 / p
    printf "pollevery %3d: %8.1f requests/s, limit %6.1f/s = %5.1f%% of the limit\n", p, a, limit, 100 * a / limit
  }'
  cleanup_home
done

echo "== 10 MB file (limit: (throttle + 1) x buffsize bytes per tick)"
for poll in 10 50; do
  make_home "pollevery=$poll" "throttle=4" "buffsize=8192"
  write_site
  start_server
  speed=$(curl -s -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$HTTP_PORT/big.bin")
  awk -v s="$speed" -v p="$poll" 'BEGIN {
    limit = 5 * 8192 * 1000 / p
    printf "pollevery %3d: %10.0f bytes/s, limit %10.0f bytes/s = %5.1f%% of the limit\n", p, s, limit, 100 * s / limit
  }'
  cleanup_home
done

echo "== Memory"
make_home "pollevery=1"
write_site
start_server
ab -q -n 100 -c 10 "http://127.0.0.1:$HTTP_PORT/small.txt" >/dev/null 2>&1
rss_100=$(rss_kb "$SERVER_PID")
ab -q -n 10000 -c 10 "http://127.0.0.1:$HTTP_PORT/small.txt" >/dev/null 2>&1
rss_10100=$(rss_kb "$SERVER_PID")
echo "resident after 100 requests: ${rss_100} kB; after 10,100: ${rss_10100} kB; growth $((rss_10100 - rss_100)) kB (limit 1024 kB)"
cleanup_home

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

make_home "pollevery=1" "countfilehits=0" "countreferer=0"
write_site
start_server
ab -q -n 200 -c 10 "http://127.0.0.1:$HTTP_PORT/small.txt" >/dev/null 2>&1
plain_us=$(cpu_per_request "$SERVER_PID" "$HTTP_PORT")
cleanup_home

make_home "pollevery=1" "countfilehits=1" "countreferer=1"
write_site
start_server
ab -q -n 200 -c 10 "http://127.0.0.1:$HTTP_PORT/small.txt" >/dev/null 2>&1
counted_us=$(cpu_per_request "$SERVER_PID" "$HTTP_PORT")
cleanup_home

awk -v l="$lighttpd_us" -v p="$plain_us" -v c="$counted_us" 'BEGIN {
  printf "lighttpd:                     %6.1f us/request\n", l
  printf "qxserver, counters off:       %6.1f us/request = %.2fx lighttpd (target <= 1.00)\n", p, p / l
  printf "qxserver, every counter on:   %6.1f us/request = %.2fx lighttpd (target <= 1.50)\n", c, c / l
}'
