#!/usr/bin/env bash
# A soak: a mixed load for a given time (pages with variables, listings,
# gopher menus, CGI programs, board posts, missing pages, resets in the
# middle of a transfer, slow readers, clients that send nothing, bursts past
# the 32 slots). At the start and at the end it prints the server's resident
# memory, open descriptors, children and zombies, and the access log's
# connection total against the connections the load made. Nothing may grow
# but the logs, the counters and the board; the totals must match exactly.
#
#   bench/soak.sh [minutes]      (default 5)
set -euo pipefail
. "$(dirname "$0")/common.sh"
minutes=${1:-5}

build_server
trap cleanup_home EXIT

make_home "pollevery=10" "webdirbrowsing=1" "view_commands=0"
{
  printf '[CGI]\r\nTimeout=30\r\n'
  printf '[Aliases]\r\n'
  printf 'Alias1=/cgi/ c:\\cgi\\ Anybody Anywhere C\r\n'
  printf 'Alias2=/messages/ c:\\boards\\ Anybody Anywhere - M\r\n'
  printf 'Alias3=/docs/ c:\\html\\docs\\ Anybody Anywhere - - D\r\n'
} >> "$BENCH_HOME/qxserver.ini"
mkdir -p "$BENCH_HOME"/{cgi,boards,html/docs,gopher/docs}
printf '<p>$remote_host said $user_agent at $date.</p>\n' > "$BENCH_HOME/html/vars.htm"
printf 'small\n' > "$BENCH_HOME/html/small.txt"
head -c 2000000 /dev/urandom > "$BENCH_HOME/html/big.bin"
for i in 1 2 3; do printf 'file %s\n' "$i" > "$BENCH_HOME/html/docs/f$i.txt"; done
for i in 1 2 3; do printf 'item %s\n' "$i" > "$BENCH_HOME/gopher/docs/g$i.txt"; done
printf '<html><body><h1>Guests</h1>\n' > "$BENCH_HOME/boards/guests.htm"
cat > "$BENCH_HOME/cgi/hello.sh" <<'SCRIPT'
#!/bin/sh
# Windows-CGI: profile file, content file, output file, query string.
printf 'Content-type: text/plain\r\n\r\nhello %s\n' "$4" > "$3"
SCRIPT
chmod +x "$BENCH_HOME/cgi/hello.sh"

start_server

connects() {
  awk -F= '/^Connects=/ {print $2+0}' "$BENCH_HOME/logs/counts.qxs" 2>/dev/null || echo 0
}
snapshot() {
  local children zombies
  children=$(pgrep -P "$SERVER_PID" | wc -l)
  zombies=$(ps -o stat= --ppid "$SERVER_PID" | grep -c '^Z' || true)
  printf '%-6s resident %s kB, descriptors %s, children %s, zombies %s, logged connections %s\n' \
    "$1" "$(rss_kb "$SERVER_PID")" "$(ls /proc/"$SERVER_PID"/fd | wc -l)" "$children" \
    "$zombies" "$(connects)"
}

# One request first, so that the counter files exist and the log buffers
# are taken before the first snapshot.
python3 - "$HTTP_PORT" <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.sendall(b"GET /small.txt HTTP/1.0\r\n\r\n")
while s.recv(4096):
    pass
PY
sleep 1
snapshot start
before=$(connects)
out=$(python3 "$BENCH_ROOT/bench/soak_load.py" "$HTTP_PORT" "$GOPHER_PORT" $((minutes * 60)))
echo "$out"
# Clients that sent nothing are closed by the read time-out.
sleep 65
snapshot end
made=$(awk '/^connections/ {print $2}' <<< "$out")
logged=$(($(connects) - before))
echo "connections made $made, logged $logged"
[ "$made" = "$logged" ] || { echo "the totals do not match" >&2; exit 1; }
