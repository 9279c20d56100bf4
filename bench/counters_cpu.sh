#!/usr/bin/env bash
# Server CPU per request while hits and referers are counted, with 10, 1,000
# and 10,000 pages and referers already in counts.qxs and referer.qxs. A
# counter update touches one line of a cached, indexed file, so the cost per
# request should not grow with the files (limit: 10,000 at most 1.25 times 10).
#
# Usage: bench/counters_cpu.sh [REQUESTS]   (per size, default 20000)
set -euo pipefail
. "$(dirname "$0")/common.sh"
requests=${1:-20000}
warmup=200
concurrency=4
first_date="02/Jan/1980:02:03:55 -0700"
# Counts that start with seven digits keep their length for the whole run, so
# every update is one that overwrites its line in place.
start_count=1000000

command -v ab >/dev/null 2>&1 || ensure_packages apache2-utils >&2
build_server

# write_counters N: counts.qxs and referer.qxs as the server leaves them after
# N pages, each with one referer (its "=" written as %3D), and the requested
# page /small.htm (with its "Direct" referer) in the middle of them, where a
# file read from the top would have to look for it.
write_counters() {
  local n=$1
  awk -v n="$n" -v d="$first_date" -v c="$start_count" 'BEGIN {
    printf "[Commands]\r\n"
    for (i = 1; i <= n; i++) {
      if (i == int(n / 2) + 1) printf "/small.htm=%d %s\r\n", c, d
      printf "/page%05d.htm=%d %s\r\n", i, 1 + i % 97, d
    }
    printf "[Totals]\r\nConnects=%d\r\nFilesSentOK=%d\r\nBytesSent=100000000000\r\n", c, c
  }' > "$BENCH_HOME/logs/counts.qxs"
  awk -v n="$n" -v d="$first_date" -v c="$start_count" 'BEGIN {
    for (i = 1; i <= n; i++) {
      if (i == int(n / 2) + 1) printf "[/small.htm]\r\nDirect=%d %s\r\n", c, d
      printf "[/page%05d.htm]\r\nhttp://site%05d.example.com/links.htm?from%%3D%d=%d %s\r\n", i, i,
        i, 1 + i % 89, d
    }
  }' > "$BENCH_HOME/logs/referer.qxs"
}

# run_ab COUNT: COUNT requests for the small page; fails unless all succeed.
run_ab() {
  local out
  out=$(ab -q -n "$1" -c "$concurrency" "http://127.0.0.1:$HTTP_PORT/small.htm" 2>&1) || {
    echo "$out" >&2
    return 1
  }
  local complete failed
  complete=$(awk '/^Complete requests:/ {print $3}' <<< "$out")
  failed=$(awk '/^Failed requests:/ {print $3}' <<< "$out")
  if [ "$complete" != "$1" ] || [ "$failed" != "0" ] || grep -q '^Non-2xx' <<< "$out"; then
    echo "$out" >&2
    return 1
  fi
}

# measure N: the server's CPU seconds per request with N counted pages, in
# per_request. (Not run in a subshell, so that a failure stops the script and
# the exit trap finds the server to stop.)
measure() {
  local n=$1
  make_home "pollevery=1"
  printf 'A small page.\r\n' > "$BENCH_HOME/html/small.htm"
  write_counters "$n"
  start_server
  # The first requests read the counter files into the cache; that is paid
  # once per run, not per request.
  run_ab "$warmup"
  local before after
  before=$(cpu_ns "$SERVER_PID")
  run_ab "$requests"
  after=$(cpu_ns "$SERVER_PID")
  stop_server

  # Every request must have been counted, on the one line of its page.
  local expected=$((start_count + warmup + requests))
  local lines
  lines=$(grep -c '^/small\.htm=' "$BENCH_HOME/logs/counts.qxs" || true)
  if [ "$lines" != 1 ] || ! grep -q "^/small\.htm=$expected " "$BENCH_HOME/logs/counts.qxs" ||
     ! grep -q "^Direct=$expected " "$BENCH_HOME/logs/referer.qxs"; then
    echo "with $n pages the counts are not $expected:" >&2
    grep -e '^/small\.htm=' "$BENCH_HOME/logs/counts.qxs" >&2 || true
    grep -e '^Direct=' "$BENCH_HOME/logs/referer.qxs" >&2 || true
    return 1
  fi
  cleanup_home
  per_request=$(awk -v t=$((after - before)) -v r="$requests" 'BEGIN { printf "%.9f", t / 1e9 / r }')
}

trap cleanup_home EXIT
results=()
for n in 10 1000 10000; do
  measure "$n"
  results+=("$per_request")
  awk -v n="$n" -v p="$per_request" -v r="$requests" 'BEGIN {
    printf "%6d pages and referers counted: %8.1f us CPU per request (%d requests)\n", n, p * 1e6, r
  }'
done
awk -v small="${results[0]}" -v large="${results[2]}" 'BEGIN {
  if (small <= 0) { print "too few CPU ticks at 10 pages to compare; run with more requests"; exit 1 }
  ratio = large / small
  printf "10,000 vs 10: %.2f (limit 1.25)\n", ratio
  exit (ratio <= 1.25) ? 0 : 1
}'
