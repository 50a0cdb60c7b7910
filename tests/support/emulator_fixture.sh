#!/usr/bin/env bash
# Starts or stops the service emulator around the tests that talk to it.
#   emulator_fixture.sh start PORT_BASE WORK_DIR [TRUST_TOOL]  (with the tool: trusts its test authority)
#   emulator_fixture.sh stop  PORT_BASE WORK_DIR
set -euo pipefail
action=$1 base=$2 work=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$work"
pidfile="$work/emulator-$base.pid"
log="$work/emulator-$base.log"

# Stops the emulator this folder started, and waits until its ports are free again.
stop_running() {
    [ -f "$pidfile" ] || return 0
    local pid
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$pidfile"
}

case $action in
start)
    stop_running
    cd "$root"
    : >"$log"  # emptied here, not by the child below: the wait must not read the last run's READY
    setsid python3 -m tools.emulator --port-base "$base" </dev/null >"$log" 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 1 100); do
        grep -q '^READY ' "$log" 2>/dev/null && break
        sleep 0.2
    done
    grep -q '^READY ' "$log" || { echo "emulator did not start:"; cat "$log"; exit 1; }
    ca=$(sed -n 's/^READY .*"ca": "\([^"]*\)".*/\1/p' "$log")
    if [ -n "${4:-}" ]; then wine "$4" "$(winepath -w "$ca")" </dev/null; fi
    ;;
stop)
    stop_running
    ;;
esac
