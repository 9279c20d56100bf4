# Sourced by the benchmarks: builds the server, makes a temporary server home
# and starts and stops the server in it.

BENCH_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$BENCH_ROOT/scripts/packages.sh"

build_server() {
  ensure_packages "${BUILD_PACKAGES[@]}" >&2
  if [ ! -f "$BENCH_ROOT/build-bench/build.ninja" ]; then
    cmake -S "$BENCH_ROOT" -B "$BENCH_ROOT/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DQXS_BUILD_TESTS=OFF >&2
  fi
  ninja -C "$BENCH_ROOT/build-bench" qxserver >&2
  QXSERVER="$BENCH_ROOT/build-bench/src/qxserver"
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# make_home OPTIONS...: a temporary home with the given extra [Options] lines.
make_home() {
  BENCH_HOME=$(mktemp -d /tmp/qxs-bench-XXXXXX)
  HTTP_PORT=$(free_port)
  GOPHER_PORT=$(free_port)
  mkdir -p "$BENCH_HOME"/{html,gopher,logs,temp}
  {
    printf '[Options]\r\n'
    printf 'httpport=%s\r\ngopherport=%s\r\n' "$HTTP_PORT" "$GOPHER_PORT"
    printf 'hostname=localhost\r\nip=127.0.0.1\r\nview_commands=0\r\n'
    printf 'webdir=c:\\html\\\r\ngopherdir=c:\\gopher\\\r\nlogdir=c:\\logs\\\r\ntempdir=c:\\temp\\\r\n'
    local line
    for line in "$@"; do printf '%s\r\n' "$line"; done
  } > "$BENCH_HOME/qxserver.ini"
}

# With BENCH_WINDOW=1 the server runs with its window, on a virtual display
# of its own (Xvfb), instead of headless.
start_display() {
  [ -n "${BENCH_DISPLAY:-}" ] && return 0
  local ready
  ready=$(mktemp /tmp/qxs-bench-display-XXXXXX)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
  XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$ready" ] && break
    sleep 0.05
  done
  BENCH_DISPLAY=":$(cat "$ready")"
  rm -f "$ready"
  trap 'stop_display' EXIT
}

stop_display() {
  cleanup_home
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=""
  BENCH_DISPLAY=""
}

start_server() {
  if [ "${BENCH_WINDOW:-0}" = 1 ]; then
    start_display
    XDG_RUNTIME_DIR="$BENCH_HOME" DISPLAY="$BENCH_DISPLAY" "$QXSERVER" --home "$BENCH_HOME" \
      > "$BENCH_HOME/screen.log" 2>&1 &
  else
    XDG_RUNTIME_DIR="$BENCH_HOME" "$QXSERVER" --headless --home "$BENCH_HOME" \
      > "$BENCH_HOME/screen.log" 2>&1 &
  fi
  SERVER_PID=$!
  local i
  for i in $(seq 1 100); do
    # The window shows its screen log itself: there the port tells.
    grep -q 'Listening' "$BENCH_HOME/screen.log" 2>/dev/null && return 0
    if [ "${BENCH_WINDOW:-0}" = 1 ] && (exec 3<>"/dev/tcp/127.0.0.1/$HTTP_PORT") 2>/dev/null; then
      return 0
    fi
    sleep 0.05
  done
  echo "the server did not start:" >&2
  cat "$BENCH_HOME/screen.log" >&2
  return 1
}

stop_server() {
  [ -n "${SERVER_PID:-}" ] && kill -TERM "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
  SERVER_PID=""
}

cleanup_home() {
  stop_server
  [ -n "${BENCH_HOME:-}" ] && rm -rf "$BENCH_HOME"
}

# Resident memory of a process in kB.
rss_kb() {
  awk '/^VmRSS:/ {print $2}' "/proc/$1/status"
}

# CPU time of a process in nanoseconds, summed over its threads (from the
# scheduler's statistics, far finer than clock ticks).
cpu_ns() {
  cat /proc/"$1"/task/*/schedstat | awk '{sum += $1} END {printf "%.0f\n", sum}'
}
