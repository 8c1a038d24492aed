#!/usr/bin/env bash
# Starts the bundled PLC simulator and, once it is built, the server program on the
# sample configuration against it. Ctrl-C stops both.
set -euo pipefail
bin=${1:-Bin/debug/bin}
port=${PLCSIM_PORT:-5010}
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT INT TERM
if [ -x "$bin/plcsim" ]; then
    "$bin/plcsim" --port "$port" &
    pids+=($!)
    echo "PLC simulator listening on 127.0.0.1:$port"
else
    echo "The PLC simulator is not built yet." >&2
fi
if [ -x "$bin/fenwold" ]; then
    "$bin/fenwold" Tools/sample.csv &
    pids+=($!)
else
    echo "The server program is not built yet; only the simulator runs." >&2
fi
[ ${#pids[@]} -gt 0 ] && wait
