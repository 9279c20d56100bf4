#!/usr/bin/env bash
# What the operator window costs: the CPU of an idle server at pollevery 200
# with its window open (on a virtual display) beside the console's, over a
# period (default 30 seconds), and the small-file rates of bench/serve.sh
# with either front end.
set -euo pipefail
. "$(dirname "$0")/common.sh"
seconds=${1:-30}

ensure_packages xvfb xauth apache2-utils >&2
build_server
trap 'stop_display' EXIT

# Each measurement leaves its number in RESULT.
idle_cpu() {
  make_home "pollevery=200"
  start_server
  sleep 3  # past the start-up ticks
  local before after
  before=$(cpu_ns "$SERVER_PID")
  sleep "$seconds"
  after=$(cpu_ns "$SERVER_PID")
  cleanup_home
  RESULT=$(awk -v t=$((after - before)) -v s="$seconds" 'BEGIN { printf "%.3f", 100 * t / 1e9 / s }')
}

# ab's requests per second for N requests of a small file from 10 clients.
rate() {
  make_home "pollevery=$1"
  head -c 512 /dev/zero | tr '\0' 'x' > "$BENCH_HOME/html/small.txt"
  start_server
  RESULT=$(ab -q -n "$2" -c 10 "http://127.0.0.1:$HTTP_PORT/small.txt" 2>/dev/null |
    awk '/^Requests per second/ {print $4}')
  cleanup_home
}

echo "== Idle, pollevery 200, $seconds s (% of one core)"
BENCH_WINDOW=0 && idle_cpu && console=$RESULT
BENCH_WINDOW=1 && idle_cpu && window=$RESULT
echo "console: $console%   window: $window%   (window limit 0.5%)"

echo "== Small-file rate, 10 concurrent clients (requests/s)"
for poll in 200 10; do
  n=$(( poll == 200 ? 60 : 600 ))
  BENCH_WINDOW=0 && rate "$poll" "$n" && console=$RESULT
  BENCH_WINDOW=1 && rate "$poll" "$n" && window=$RESULT
  awk -v c="$console" -v w="$window" -v p="$poll" 'BEGIN {
    printf "pollevery %3d: console %8.1f   window %8.1f   window/console %5.1f%%\n", p, c, w, 100 * w / c
  }'
done
