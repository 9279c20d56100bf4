# CPU per CGI request, server and program together, beside lighttpd's
# mod_cgi running the same program in the same run: demo/cgi-std/upper.exe,
# which reads the request body on standard input and answers on standard
# output (under a "std" alias here). Both servers run side by side; after a
# few requests to warm up, each gets N POST requests in a row (ab, one
# client), in turns, three rounds, so that a busy moment of the machine
# falls on both. The server's own CPU comes from the scheduler's statistics
# of its process, the programs' from the children's times the kernel adds
# to it when it reaps them (clock ticks, so N should not be much below 200).
#
# Then it checks what qxserver's requests must not leave behind: no child
# (zombie or running), no more open descriptors, and resident memory within
# 1 MB of where it was after the warm-up.
#
#   bench/cgi.sh [requests]     (per round, default 200)
set -euo pipefail
. "$(dirname "$0")/common.sh"
requests=${1:-200}

ensure_packages apache2-utils lighttpd >&2
build_server
trap 'cleanup_home; stop_lighttpd' EXIT

HZ=$(getconf CLK_TCK)
PROGRAM="$BENCH_ROOT/demo/cgi-std/upper.exe"

# CPU time of the children a process has reaped, in nanoseconds.
children_ns() {
  sed 's/^.*) //' "/proc/$1/stat" | awk -v hz="$HZ" '{printf "%.0f\n", ($14 + $15) * 1e9 / hz}'
}

# The program where both servers find it: /cgi-std/upper.exe.
write_site() {
  mkdir -p "$BENCH_HOME/html/cgi-std"
  cp "$PROGRAM" "$BENCH_HOME/html/cgi-std/upper.exe"
  printf 'text=hello+from+the+bench' > "$BENCH_HOME/body.txt"
}

# post PORT COUNT: COUNT requests in a row; fails unless all were answered.
post() {
  local out
  out=$(ab -q -n "$2" -c 1 -p "$BENCH_HOME/body.txt" -T application/x-www-form-urlencoded \
    "http://127.0.0.1:$1/cgi-std/upper.exe" 2>&1)
  if ! grep -q "^Complete requests: *$2$" <<< "$out" ||
     ! grep -q '^Failed requests: *0$' <<< "$out"; then
    echo "$out" >&2
    return 1
  fi
}

# measure PID PORT: the server's and its programs' CPU (ns) over N requests.
measure() {
  local own_before kids_before
  own_before=$(cpu_ns "$1")
  kids_before=$(children_ns "$1")
  post "$2" "$requests"
  echo "$(($(cpu_ns "$1") - own_before)) $(($(children_ns "$1") - kids_before))"
}

LIGHTTPD_PID=""
stop_lighttpd() {
  [ -n "$LIGHTTPD_PID" ] && kill "$LIGHTTPD_PID" 2>/dev/null && wait "$LIGHTTPD_PID" 2>/dev/null
  LIGHTTPD_PID=""
}

rounds=3
echo "== CGI: $rounds rounds of $requests POST requests in a row to a standard input/output program"
# A tick of 20 ms: a finished program is noticed within 20 ms, and socket
# notifications are still taken as they come.
make_home "pollevery=20" "[Aliases]" 'Alias1=/cgi-std/ c:\html\cgi-std\ Anybody Anywhere C'
write_site
lighttpd_port=$(free_port)
cat > "$BENCH_HOME/lighttpd.conf" <<CONF
server.modules = ("mod_cgi")
server.document-root = "$BENCH_HOME/html"
server.port = $lighttpd_port
server.bind = "127.0.0.1"
server.errorlog = "$BENCH_HOME/lighttpd-error.log"
cgi.assign = (".exe" => "")
CONF
lighttpd -D -f "$BENCH_HOME/lighttpd.conf" &
LIGHTTPD_PID=$!
start_server
sleep 0.3
post "$lighttpd_port" 5
post "$HTTP_PORT" 5
fds_before=$(ls "/proc/$SERVER_PID/fd" | wc -l)
rss_before=$(rss_kb "$SERVER_PID")
lighttpd_runs=""
qxserver_runs=""
for round in $(seq 1 $rounds); do
  lighttpd_runs+="$(measure "$LIGHTTPD_PID" "$lighttpd_port") "
  qxserver_runs+="$(measure "$SERVER_PID" "$HTTP_PORT") "
done
sleep 0.2
fds_after=$(ls "/proc/$SERVER_PID/fd" | wc -l)
rss_after=$(rss_kb "$SERVER_PID")
children=0
zombies=0
for stat in /proc/[0-9]*/stat; do
  fields=$(sed 's/^.*) //' "$stat" 2>/dev/null) || continue
  set -- $fields
  if [ "${2:-}" = "$SERVER_PID" ]; then
    children=$((children + 1))
    [ "$1" = Z ] && zombies=$((zombies + 1))
  fi
done
stop_lighttpd
cleanup_home

awk -v l="$lighttpd_runs" -v q="$qxserver_runs" -v n=$((requests * rounds)) 'BEGIN {
  split(l, lr, " "); split(q, qr, " ")
  for (i = 1; i in lr; i += 2) { lo += lr[i]; lk += lr[i + 1]; qo += qr[i]; qk += qr[i + 1] }
  lo /= n * 1000; lk /= n * 1000; qo /= n * 1000; qk /= n * 1000
  printf "                        server   program     total   (us of CPU per request)\n"
  printf "lighttpd, mod_cgi    %9.1f %9.1f %9.1f\n", lo, lk, lo + lk
  printf "qxserver, std alias  %9.1f %9.1f %9.1f\n", qo, qk, qo + qk
  printf "qxserver %.2fx lighttpd, server and program together (goal <= 1.20)\n", (qo + qk) / (lo + lk)
}'
status=0
check() {
  if [ "$1" = ok ]; then echo "ok    $2"; else echo "FAIL  $2"; status=1; fi
}
[ "$children" -eq 0 ] && c=ok || c=no
check $c "no child left after the runs ($children, of them $zombies zombies)"
[ "$fds_after" -le "$fds_before" ] && c=ok || c=no
check $c "no extra open descriptor ($fds_before before, $fds_after after)"
[ $((rss_after - rss_before)) -le 1024 ] && c=ok || c=no
check $c "resident memory within 1 MB ($rss_before kB before, $rss_after kB after)"
exit $status
