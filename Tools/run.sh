#!/usr/bin/env bash
# Starts the bundled PLC simulator with moving values and the server program on
# the sample configuration against it, with a registry, data and runtime folder
# of their own under Bin/run. Headless when there is no display. Ctrl-C stops both.
set -uo pipefail
bin=${1:-Bin/debug/bin}
port=${PLCSIM_PORT:-5010}
run=$PWD/Bin/run
for program in plcsim fenwold tessaro-dde; do
    if [ ! -x "$bin/$program" ]; then
        echo "$bin/$program is not built." >&2
        exit 1
    fi
done
mkdir -p "$run/registry" "$run/data"
mkdir -m 700 -p "$run/runtime"
export TESSARO_REGISTRY=$run/registry TESSARO_DATA=$run/data XDG_RUNTIME_DIR=$run/runtime

# Registered in the scratch registry, so OPC clients such as Quillet find it by name.
# Without a display: with one, the success box would wait for a click before the start.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/fenwold" -regserver >/dev/null 2>&1 || echo "fenwold -regserver failed; OPC clients will not find it by name." >&2

# Every change of value is an event line; at about four a second they would push
# everything else off the terminal, so this run starts with them off unless
# EVENTS=1 asks for them. Only the option's start value is set: the log view and
# the log file record events as always once they are on (View > Events).
events=0
[ "${EVENTS:-0}" = 1 ] && events=1
hkcu=$run/registry/HKEY_CURRENT_USER.reg
[ -s "$hkcu" ] || printf 'Windows Registry Editor Version 5.00\n' >"$hkcu"
printf '\n[HKEY_CURRENT_USER\\Software\\Tessaro v4.5\\Fenwold\\Options]\n"View Events"=dword:%08x\n' "$events" >>"$hkcu"

sim=0 server=0 again=0
stop() {
    trap '' INT TERM
    # Background programs of a script ignore the terminal's Ctrl-C: tell them.
    [ "$server" -gt 0 ] && kill -TERM "$server" 2>/dev/null
    [ "$sim" -gt 0 ] && kill -TERM "$sim" 2>/dev/null
    [ "$again" -gt 0 ] && kill -TERM "$again" 2>/dev/null
}
trap stop INT TERM

"$bin/plcsim" --port "$port" --move &
sim=$!
"$bin/fenwold" Tools/sample.csv &
server=$!

instructions() {
cat <<EOF

The PLC simulator listens on 127.0.0.1:$port (D200 counts up, X0 toggles); Fenwold
serves Tools/sample.csv and goes online by itself about a second after loading.
Watch values in another terminal:

  XDG_RUNTIME_DIR=$run/runtime $bin/tessaro-dde advise PLC1 D200 X0
  XDG_RUNTIME_DIR=$run/runtime $bin/tessaro-dde request PLC1 D100 D101 M0
  XDG_RUNTIME_DIR=$run/runtime $bin/tessaro-dde poke PLC1 D100 1234

or, with a display, with the OPC test client:

  TESSARO_REGISTRY=$run/registry XDG_RUNTIME_DIR=$run/runtime $bin/quillet Tools/quillet/fenwold.csv

Event lines ("Event : New data ...") are $( [ "$events" = 1 ] && echo on || echo "off: \`make run EVENTS=1\`
shows them, or View > Events in the window" ).
Ctrl-C stops both. The configuration's columns: docs/configuration.md.

EOF
}
instructions
# Say it again once the server is online, after its start-up lines.
(
    for _ in $(seq 30); do
        if XDG_RUNTIME_DIR=$run/runtime timeout 3 "$bin/tessaro-dde" request PLC1 D100 >/dev/null 2>&1; then
            instructions
            break
        fi
        sleep 1
    done
) &
again=$!

# The end of a program, its exit status; a wait cut short by a signal waits again.
wait_for() {
    local rc
    while :; do
        wait "$1"
        rc=$?
        if [ "$rc" -gt 128 ] && kill -0 "$1" 2>/dev/null; then continue; fi
        return "$rc"
    done
}
wait_for "$server"
status_server=$?
stop
wait_for "$sim"
status_sim=$?
left=$(find "$run/runtime" \( -type s -o -name '*.dde' -o -name '*.lock' \) 2>/dev/null)
echo "Fenwold ended with $status_server, the simulator with $status_sim; left behind: ${left:-nothing}."
[ "$status_server" -eq 0 ] && [ "$status_sim" -eq 0 ] && [ -z "$left" ]
