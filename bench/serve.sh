#!/usr/bin/env bash
# How fast the server serves, against the limits it is designed to: at most
# one connection sends per tick, so small files are answered at close to
# 1000/pollevery per second, and a large file leaves at (throttle + 1) x
# buffsize bytes per tick. Then the memory after 10,000 requests. The CPU
# per request beside lighttpd's is bench/cpu_per_request.sh.
set -euo pipefail
. "$(dirname "$0")/common.sh"

ensure_packages apache2-utils curl >&2
build_server
trap cleanup_home EXIT

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
