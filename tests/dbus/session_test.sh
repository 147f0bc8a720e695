#!/usr/bin/env bash
# canservice serve on a session bus of its own, as the README shows it: gdbus reads the values by
# name, dbus-send sends a climate key that the simulated box hears (box <- ...) and one out of
# range that it does not, and a shell client follows ValuesChanged while the box drives.
#   bash session_test.sh CANSERVICE        (exit 77: skipped)
set -euo pipefail
for tool in dbus-run-session gdbus dbus-send; do
    command -v "$tool" > /dev/null || { echo "SKIP: no $tool (Debian packages dbus-bin, libglib2.0-bin)"; exit 77; }
done
PATH="$(cd "$(dirname "$1")" && pwd):$PATH"
export PATH

# The command the README gives (and the service stopped after it).
values=$(dbus-run-session -- sh -c 'canservice serve --bus session --sim > /dev/null & sleep 3; gdbus call --session --dest org.canservice.Vehicle1 --object-path /org/canservice/Vehicle1 --method org.canservice.Vehicle1.GetValues; kill $!' 2> /dev/null)
grep -q "'Vehicle.Speed': <" <<< "$values" || { echo "FAIL: GetValues gave: $values"; exit 1; }
echo "ok: GetValues by catalogue name: ${values:0:120}..."

exec dbus-run-session -- bash -euo pipefail -c '
work=$(mktemp -d)
trap "rm -rf $work" EXIT
fail() { echo "FAIL: $*"; echo "--- service:"; cat "$work/service.log"; exit 1; }
canservice serve --bus session --sim > "$work/service.log" 2>&1 &
service=$!
dest=(--dest org.canservice.Vehicle1 --object-path /org/canservice/Vehicle1)
for _ in $(seq 100); do
    gdbus introspect --session "${dest[@]}" > /dev/null 2>&1 && break
    sleep 0.1
done

# The client: every signal of the service for three seconds of the drive.
timeout 3 gdbus monitor --session "${dest[@]}" > "$work/signals.log" || true
batches=$(grep -c "org.canservice.Vehicle1.ValuesChanged" "$work/signals.log" || true)
speeds=$(grep -o "'"'"'Vehicle.Speed'"'"': <[0-9.]*>" "$work/signals.log" | sort -u | wc -l)
[ "$batches" -ge 2 ] && [ "$speeds" -ge 2 ] || fail "the client saw $batches batches with $speeds speeds"
# At most 20 a second, whatever the box does (the box sends a few dozen frames a second here).
[ "$batches" -le 63 ] || fail "$batches batches in 3 seconds"
echo "ok: the client followed $batches batches, $speeds speeds"

dbus-send --session --print-reply --dest=org.canservice.Vehicle1 /org/canservice/Vehicle1 \
    org.canservice.Vehicle1.SendClimateKey int32:0 int32:0 > /dev/null
if dbus-send --session --print-reply --dest=org.canservice.Vehicle1 /org/canservice/Vehicle1 \
    org.canservice.Vehicle1.SendClimateKey int32:40 int32:0 2> "$work/refused.log"; then
    fail "key 40 was taken"
fi
grep -q "org.freedesktop.DBus.Error.InvalidArgs: climate key 40 is out of range" "$work/refused.log" ||
    fail "key 40: $(cat "$work/refused.log")"
dbus-send --session --print-reply --dest=org.canservice.Vehicle1 /org/canservice/Vehicle1 \
    org.canservice.Vehicle1.RequestSpeed > /dev/null
for _ in $(seq 50); do grep -q "box <- request speed" "$work/service.log" && break; sleep 0.1; done
[ "$(grep -c "box <- climate" "$work/service.log")" -eq 1 ] || fail "the box did not hear one climate key"
grep -q "box <- climate key 0x01" "$work/service.log" || fail "the box heard another key"
echo "ok: dbus-send reaches the box; key 40 is refused and never sent"

kill -TERM "$service"
for _ in $(seq 50); do kill -0 "$service" 2> /dev/null || break; sleep 0.1; done
kill -0 "$service" 2> /dev/null && { kill -KILL "$service"; fail "SIGTERM did not end it"; }
status=0
wait "$service" || status=$?
[ "$status" -eq 130 ] || fail "SIGTERM ended it with $status"
grep -q "Link health: frames accepted [1-9]" "$work/service.log" || fail "no health at the end"
echo "ok: SIGTERM ends it with the link health"
'
