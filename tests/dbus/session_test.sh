#!/usr/bin/env bash
# canservice serve on a session bus, as the README shows it and as a head unit meets it: gdbus
# reads the values by name, each in its type, and introspection gives their units; dbus-send
# sends a climate key that the simulated box hears (box <- ...) and one out of range that it
# does not; a shell client follows ValuesChanged while the box drives; the box unplugged and replugged shows in the Line property; a restarted bus is joined
# again; SIGTERM ends it with the link's health.
#   bash session_test.sh CANSERVICE        (exit 77: skipped)
set -euo pipefail
for tool in dbus-run-session dbus-daemon gdbus dbus-send; do
    command -v "$tool" > /dev/null || { echo "SKIP: no $tool (Debian packages dbus-bin, dbus-daemon, libglib2.0-bin)"; exit 77; }
done
PATH="$(cd "$(dirname "$1")" && pwd):$PATH"
export PATH

# The command the README gives (and the service stopped after it).
values=$(dbus-run-session -- sh -c 'canservice serve --bus session --sim > /dev/null & sleep 3; gdbus call --session --dest org.canservice.Vehicle1 --object-path /org/canservice/Vehicle1 --method org.canservice.Vehicle1.GetValues; kill $!' 2> /dev/null)
grep -q "'Vehicle.Speed': <[0-9]*\.[0-9]*>" <<< "$values" &&
    grep -q "'Vehicle.Powertrain.CombustionEngine.Speed': <[0-9]*>" <<< "$values" ||
    { echo "FAIL: GetValues gave: $values"; exit 1; }
echo "ok: GetValues by catalogue name, engine speed an int32: ${values:0:100}..."

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in ${pids[@]+"${pids[@]}"}; do kill "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for log in "$work"/*.log; do echo "--- $log:"; cat "$log"; done; exit 1; }
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
bus() {
    rm -f "$work/bus"
    dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" 2> /dev/null &
    daemon=$!
    pids+=("$daemon")
}
# A simulated box of its own on a pseudo-terminal, behind the link $work/canbox as udev makes it.
box() {
    canservice sim --pty > "$work/box$1.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do grep -qs "^pty: " "$work/box$1.log" && break; sleep 0.1; done
    ln -sfn "$(sed -n 's/^pty: //p' "$work/box$1.log")" "$work/canbox"
}
dest=(--dest org.canservice.Vehicle1 --object-path /org/canservice/Vehicle1)
property() { gdbus call --session "${dest[@]}" --method org.freedesktop.DBus.Properties.Get org.canservice.Vehicle1 "$1"; }
until_true() { for _ in $(seq 100); do eval "$1" > /dev/null 2>&1 && return 0; sleep 0.1; done; fail "never: $1"; }

bus
box A
canservice serve "$work/canbox" --bus session > "$work/service.log" 2>&1 &
service=$!
pids+=("$service")
until_true 'gdbus introspect --session "${dest[@]}"'
# The units as introspection gives them, on the method and on the signal.
[ "$(gdbus introspect --session "${dest[@]}" | grep -c "@org.canservice.Vehicle1.Units(\"Vehicle.Speed=km/h ")" -eq 2 ] ||
    fail "introspection without the units: $(gdbus introspect --session "${dest[@]}")"

# The client: every signal of the service for three seconds of the drive.
timeout 3 gdbus monitor --session "${dest[@]}" > "$work/signals.log" || true
batches=$(grep -c "org.canservice.Vehicle1.ValuesChanged" "$work/signals.log" || true)
speeds=$(grep -o "'Vehicle.Speed': <[0-9.]*>" "$work/signals.log" | sort -u | wc -l)
[ "$batches" -ge 2 ] && [ "$speeds" -ge 2 ] || fail "the client saw $batches batches with $speeds speeds"
[ "$batches" -le 63 ] || fail "$batches batches in 3 seconds: more than 20 a second"
echo "ok: the client followed $batches batches, $speeds speeds"

dbus-send --session --print-reply --dest=org.canservice.Vehicle1 /org/canservice/Vehicle1 \
    org.canservice.Vehicle1.SendClimateKey int32:0 int32:0 > /dev/null
dbus-send --session --print-reply --dest=org.canservice.Vehicle1 /org/canservice/Vehicle1 \
    org.canservice.Vehicle1.SendClimateKey int32:40 int32:0 2> "$work/refused.log" && fail "key 40 was taken"
grep -q "org.freedesktop.DBus.Error.InvalidArgs: climate key 40 is out of range" "$work/refused.log" ||
    fail "key 40: $(cat "$work/refused.log")"
dbus-send --session --print-reply --dest=org.canservice.Vehicle1 /org/canservice/Vehicle1 \
    org.canservice.Vehicle1.RequestSpeed > /dev/null
until_true 'grep -q "box <- request speed" "$work/boxA.log"'
[ "$(grep -c "box <- climate" "$work/boxA.log")" -eq 1 ] || fail "the box did not hear one climate key"
grep -q "box <- climate key 0x01" "$work/boxA.log" || fail "the box heard another key"
echo "ok: dbus-send reaches the box; key 40 is refused and never sent"

# Unplugged: box B's terminal takes the link before box A goes, as in the README. A client
# hears it from PropertiesChanged.
gdbus monitor --session "${dest[@]}" > "$work/properties.log" &
pids+=($!)
box B
kill -INT "${pids[1]}"
until_true '[ "$(property Line)" = "(<'"'down'"'>,)" ]'
[ "$(property LineError)" = "(<'the device hung up'>,)" ] || fail "the reason: $(property LineError)"
until_true '[ "$(property Line)" = "(<'"'up'"'>,)" ]'
until_true 'grep -q "'"{'Line': <'up'>, 'LineError': <''>}"'" "$work/properties.log"'
grep -q "{'Line': <'down'>, 'LineError': <'the device hung up'>}" "$work/properties.log" ||
    fail "no PropertiesChanged for the line going down"
echo "ok: the box unplugged and replugged shows in Line and LineError"

# The bus restarted: the service is on it again within seconds, with its state.
kill "$daemon"
bus
until_true 'grep -q "back on the bus" "$work/service.log"'
property Health | grep -q "'lineLosses': <int64 1>" || fail "Health after the restart: $(property Health)"
echo "ok: a restarted bus has the service again"

kill -TERM "$service"
for _ in $(seq 50); do kill -0 "$service" 2> /dev/null || break; sleep 0.1; done
kill -0 "$service" 2> /dev/null && { kill -KILL "$service"; fail "SIGTERM did not end it"; }
status=0
wait "$service" || status=$?
[ "$status" -eq 130 ] || fail "SIGTERM ended it with $status"
grep -q "Link health: frames accepted [1-9]" "$work/service.log" || fail "no health at the end"
echo "ok: SIGTERM ends it with the link health"
