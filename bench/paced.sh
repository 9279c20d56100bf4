#!/usr/bin/env bash
# The server beside lighttpd and nginx (one worker), every one started here
# in one run on this machine, all writing their access logs, one request per
# connection for a 1 KB page:
#
#   CPU per request under paced loads that give every server the same
#   requests per second: 300/s (our pollevery 1) and 80/s (pollevery 10),
#   with our counters off and on;
#   the latency of a lone request (one every half second) at pollevery 200;
#   the wake-ups of an idle server in ten seconds.
#
# Ratios are to lighttpd, since these machines are noisy.
#
#   bench/paced.sh [seconds per load]      (default 10)
set -euo pipefail
. "$(dirname "$0")/common.sh"
seconds=${1:-10}
LOAD="$BENCH_ROOT/bench/paced_load.py"

ensure_packages lighttpd nginx-light python3 >&2
build_server
PEER_PIDS=""
stop_peer() {
  local pid
  for pid in $PEER_PIDS; do kill "$pid" 2>/dev/null || true; done
  for pid in $PEER_PIDS; do wait "$pid" 2>/dev/null || true; done
  PEER_PIDS=""
}
trap 'cleanup_home; stop_peer' EXIT

write_page() {
  head -c 1024 /dev/zero | tr '\0' 'x' > "$BENCH_HOME/html/page.txt"
}

# The processes of a server: the one given and its children (nginx's worker).
family() {
  echo "$1"
  pgrep -P "$1" || true
}

family_cpu_ns() {
  local total=0 pid
  for pid in $(family "$1"); do total=$((total + $(cpu_ns "$pid"))); done
  echo "$total"
}

family_wakeups() {
  local total=0 pid n
  for pid in $(family "$1"); do
    n=$(awk '/^voluntary_ctxt_switches:/ {print $2}' /proc/"$pid"/status)
    total=$((total + n))
  done
  echo "$total"
}

# paced PID PORT RATE: "us-per-request median-ms p90-ms" over `seconds` of load.
paced() {
  local count=$(($3 * seconds)) before after out
  python3 "$LOAD" "$2" /page.txt 50 50 >/dev/null
  before=$(family_cpu_ns "$1")
  out=$(python3 "$LOAD" "$2" /page.txt "$3" "$count")
  after=$(family_cpu_ns "$1")
  read -r ok failed median p90 <<< "$out"
  if [ "$ok" != "$count" ]; then
    echo "only $ok of $count answered ($failed failed)" >&2
    return 1
  fi
  awk -v b="$before" -v a="$after" -v n="$count" -v m="$median" -v p="$p90" \
    'BEGIN { printf "%.1f %s %s", (a - b) / n / 1000, m, p }'
}

# lone PORT: the median latency (ms) of 20 requests, one every half second.
lone() {
  python3 "$LOAD" "$1" /page.txt 2 20 | awk '{print $3}'
}

idle_wakeups() {
  local before
  sleep 1
  before=$(family_wakeups "$1")
  sleep 10
  echo $(($(family_wakeups "$1") - before))
}

start_lighttpd() {
  local port=$1
  cat > "$BENCH_HOME/lighttpd.conf" <<CONF
server.document-root = "$BENCH_HOME/html"
server.port = $port
server.bind = "127.0.0.1"
server.errorlog = "$BENCH_HOME/lighttpd-error.log"
server.modules = ("mod_accesslog")
accesslog.filename = "$BENCH_HOME/lighttpd-access.log"
mimetype.assign = (".txt" => "text/plain")
CONF
  lighttpd -D -f "$BENCH_HOME/lighttpd.conf" &
  PEER_PIDS=$!
  sleep 0.5
}

start_nginx() {
  local port=$1
  mkdir -p "$BENCH_HOME/nginx"
  # nginx's worker may run as another user: it must be able to read the page.
  chmod a+rx "$BENCH_HOME" "$BENCH_HOME/html"
  cat > "$BENCH_HOME/nginx.conf" <<CONF
daemon off;
worker_processes 1;
error_log $BENCH_HOME/nginx/error.log;
pid $BENCH_HOME/nginx/nginx.pid;
events { worker_connections 256; }
http {
  access_log $BENCH_HOME/nginx/access.log;
  client_body_temp_path $BENCH_HOME/nginx;
  proxy_temp_path $BENCH_HOME/nginx;
  fastcgi_temp_path $BENCH_HOME/nginx;
  uwsgi_temp_path $BENCH_HOME/nginx;
  scgi_temp_path $BENCH_HOME/nginx;
  keepalive_timeout 0;
  types { text/plain txt; }
  server {
    listen 127.0.0.1:$port;
    root $BENCH_HOME/html;
  }
}
CONF
  nginx -c "$BENCH_HOME/nginx.conf" -p "$BENCH_HOME/nginx" &
  PEER_PIDS=$!
  sleep 0.5
}

# peer NAME: its figures under both loads, its lone latency and idle wake-ups.
peer() {
  make_home
  write_page
  local port
  port=$(free_port)
  "start_$1" "$port"
  local a b l w
  a=$(paced "$PEER_PIDS" "$port" 300)
  b=$(paced "$PEER_PIDS" "$port" 80)
  l=$(lone "$port")
  w=$(idle_wakeups "$PEER_PIDS")
  stop_peer
  cleanup_home
  echo "$a $b $l $w"
}

# ours COUNTERS POLLEVERY RATE: our figures under one load.
ours() {
  make_home "pollevery=$2" "countfilehits=$1" "countreferer=$1"
  write_page
  start_server
  paced "$SERVER_PID" "$HTTP_PORT" "$3"
  cleanup_home
}

echo "== paced loads, $seconds s each; one request per connection, a 1 KB page" >&2
read -r l300 l300m l300p l80 l80m l80p llone lidle <<< "$(peer lighttpd)"
read -r n300 n300m n300p n80 n80m n80p nlone nidle <<< "$(peer nginx)"
read -r o300 o300m o300p <<< "$(ours 0 1 300)"
read -r c300 c300m c300p <<< "$(ours 1 1 300)"
read -r o80 o80m o80p <<< "$(ours 0 10 80)"
read -r c80 c80m c80p <<< "$(ours 1 10 80)"

make_home "pollevery=200"
write_page
start_server
qlone=$(lone "$HTTP_PORT")
qidle=$(idle_wakeups "$SERVER_PID")
idle_before=$(cpu_ns "$SERVER_PID")
sleep 10
idle_cpu=$(awk -v b="$idle_before" -v a="$(cpu_ns "$SERVER_PID")" \
  'BEGIN { printf "%.4f", (a - b) / 1e9 / 10 * 100 }')
cleanup_home

awk -v l300="$l300" -v n300="$n300" -v o300="$o300" -v c300="$c300" \
    -v l80="$l80" -v n80="$n80" -v o80="$o80" -v c80="$c80" \
    -v l300m="$l300m" -v o300m="$o300m" -v l80m="$l80m" -v o80m="$o80m" \
    -v llone="$llone" -v nlone="$nlone" -v qlone="$qlone" \
    -v lidle="$lidle" -v nidle="$nidle" -v qidle="$qidle" -v qcpu="$idle_cpu" 'BEGIN {
  printf "CPU per request (us)        lighttpd    nginx   ours off (x)      ours on (x)\n"
  printf "300/s, pollevery 1        %10.1f %8.1f %8.1f (%.2fx) %8.1f (%.2fx)\n", l300, n300, o300, o300 / l300, c300, c300 / l300
  printf "80/s, pollevery 10        %10.1f %8.1f %8.1f (%.2fx) %8.1f (%.2fx)\n", l80, n80, o80, o80 / l80, c80, c80 / l80
  printf "median latency (ms): 300/s lighttpd %s, ours %s; 80/s lighttpd %s, ours %s\n", l300m, o300m, l80m, o80m
  printf "lone request, median (ms): lighttpd %s, nginx %s, ours at pollevery 200 %s\n", llone, nlone, qlone
  printf "idle wake-ups in 10 s: lighttpd %s, nginx %s, ours %s; our idle CPU %s%% of a core\n", lidle, nidle, qidle, qcpu
  printf "goals: counters off <= 1.10x, on <= 1.40x; lone <= 2 ms; idle 0 wake-ups, < 0.01%%\n"
}'
