#!/usr/bin/env bash
# demo_test.sh SOURCE_DIR BUILD_DIR
#
# Runs scripts/demo without a display, as a terminal would: in a process
# group of its own. Once the gateway is online, sends SIGINT to that whole
# group, as Ctrl+C does. The gateway must disconnect from a simulator that
# still answers (no "E21: Lost connection with PLC"), and the simulator and
# the database must be gone afterwards.
set -euo pipefail
source=$1 build=$2
demo_dir=$build/test-demo   # kept between runs: the database is set up once
mkdir -p "$demo_dir"
out=$demo_dir/demo.out
: >"$out"

demo_pid=
cleanup() {
  if [ -n "$demo_pid" ] && kill -0 "$demo_pid" 2>/dev/null; then
    kill -KILL -- "-$demo_pid" 2>/dev/null || true
  fi
  local sim
  sim=$(cat "$demo_dir/plcsim.pid" 2>/dev/null || true)
  # Only while that id is still the simulator's.
  if [ -n "$sim" ] && grep -qs '^tarnlight-plcsi' "/proc/$sim/comm"; then kill -KILL "$sim" || true; fi
  "$source/scripts/mariadb-private" stop "$demo_dir/mariadb" >/dev/null 2>&1 || true
}
trap cleanup EXIT

wait_for() {  # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}
printed() { grep -q -- "$1" "$out"; }
demo_ended() { ! kill -0 "$demo_pid" 2>/dev/null; }

# As under a terminal: the demo leads a process group of its own, and SIGINT
# has its default action (a background job of this script would inherit it
# ignored, which the shell in the demo could not undo).
env -u DISPLAY -u WAYLAND_DISPLAY TARNLIGHT_DEMO_NO_BUILD=1 TARNLIGHT_BUILD_DIR="$build" \
  TARNLIGHT_DEMO_DIR="$demo_dir" perl -MPOSIX -e '$SIG{INT} = "DEFAULT"; POSIX::setsid(); exec @ARGV' \
  "$source/scripts/demo" >"$out" 2>&1 </dev/null &
demo_pid=$!

if ! wait_for 120 printed "LinkState: Online"; then
  echo "FAIL: the gateway did not come online"; cat "$out"; exit 1
fi
printed "No display" || { echo "FAIL: no word about the missing display"; cat "$out"; exit 1; }
printed "mariadb -h 127.0.0.1 -P" || { echo "FAIL: no database command printed"; cat "$out"; exit 1; }
sim_pid=$(cat "$demo_dir/plcsim.pid")

# Ctrl+C: SIGINT to every process of the terminal's foreground group.
kill -INT -- "-$demo_pid"
if ! wait_for 90 demo_ended; then
  echo "FAIL: the demo did not end after Ctrl+C"; cat "$out"; exit 1
fi
wait "$demo_pid" || true
demo_pid=

failures=0
printed "Stopping on SIGINT" || { echo "FAIL: the gateway did not see the Ctrl+C"; failures=1; }
printed "LinkState: Offline" || { echo "FAIL: no Disconnect sequence"; failures=1; }
if printed "E21"; then echo "FAIL: the simulator went away before the gateway disconnected"; failures=1; fi
if kill -0 "$sim_pid" 2>/dev/null; then echo "FAIL: the simulator still runs"; failures=1; fi
if "$source/scripts/mariadb-private" status "$demo_dir/mariadb" >/dev/null 2>&1; then
  echo "FAIL: the database server still runs"; failures=1
fi
# The simulator must have outlived the gateway: it stops only when the demo
# stops it after the gateway has ended, not on the Ctrl+C itself.
gateway_end=$(sed -n 's/^[0-9-]* \([0-9:.]*\) Stopped$/\1/p' "$out")
sim_end=$(sed -n 's/^\([0-9:.]*\) stopped:.*/\1/p' "$demo_dir/plcsim.log")
if [ -z "$sim_end" ] || [ -z "$gateway_end" ]; then
  echo "FAIL: the gateway or the simulator did not stop cleanly"; cat "$demo_dir/plcsim.log"; failures=1
elif [[ ! "$sim_end" > "$gateway_end" ]]; then
  echo "FAIL: the simulator stopped at $sim_end, before the gateway at $gateway_end (it took the Ctrl+C)"
  failures=1
fi
if [ "$failures" -ne 0 ]; then cat "$out"; exit 1; fi
echo "demo stopped cleanly"
