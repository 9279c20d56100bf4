#!/usr/bin/env bash
# CPU used by an idle server with the default tick (pollevery 200) over a
# period (default 30 seconds). The tick is all it should do while idle.
set -euo pipefail
. "$(dirname "$0")/common.sh"
seconds=${1:-30}
build_server
make_home "pollevery=200"
trap cleanup_home EXIT
start_server
before=$(cpu_ns "$SERVER_PID")
sleep "$seconds"
after=$(cpu_ns "$SERVER_PID")
awk -v t=$((after - before)) -v s="$seconds" 'BEGIN {
  cpu = t / 1e9
  printf "idle server, pollevery 200, %d s: %.3f s CPU = %.3f%% of one core (limit 1%%)\n", s, cpu, 100 * cpu / s
  exit (100 * cpu / s < 1) ? 0 : 1
}'
