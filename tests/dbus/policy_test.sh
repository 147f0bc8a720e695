#!/usr/bin/env bash
# The installed bus policy on a private bus configured as the system bus is (Debian's system.conf
# with the policy beside it), with real users: the service runs as its own user canservice; root
# and nobody may read but not command; a member of the group canservice commands the box, which
# says so (box <- ...). Users and groups it makes are removed again.
#   bash policy_test.sh BUILD_DIR        (as root; exit 77 means skipped)
set -euo pipefail
build=$(cd "$1" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root, to run as other users"; exit 77; }
for tool in dbus-daemon gdbus setpriv useradd; do
    command -v "$tool" > /dev/null || { echo "SKIP: no $tool (Debian packages dbus-daemon, libglib2.0-bin)"; exit 77; }
done
getent passwd messagebus > /dev/null || { echo "SKIP: no messagebus user (Debian package dbus-system-bus-common)"; exit 77; }

work=$(mktemp -d /tmp/canservice-policy.XXXXXX)
chmod 755 "$work"
# One operator a run, so that two runs at once do not take each other's user away.
operator=canservice-op$$
made_users=() made_groups=() pids=()
cleanup() {
    for pid in ${pids[@]+"${pids[@]}"}; do kill "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    # The operator first: a group with members stays.
    for ((i = ${#made_users[@]} - 1; i >= 0; i--)); do userdel "${made_users[i]}" || true; done
    for group in ${made_groups[@]+"${made_groups[@]}"}; do
        if getent group "$group" > /dev/null; then groupdel "$group" || true; fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- service:"; cat "$work/service.log" 2> /dev/null || true; exit 1; }

cmake --install "$build" --prefix "$work/usr" > /dev/null
policy="$work/usr/share/dbus-1/system.d/org.canservice.Vehicle1.conf"
[ -f "$policy" ] || fail "the policy is not installed"

# Users a run killed before its end left behind carry this comment: they go first.
mark="made by the canservice policy test"
while IFS=: read -r user _ _ _ comment _; do
    [ "$comment" = "$mark" ] || continue
    case $user in
    canservice-op*) kill -0 "${user#canservice-op}" 2> /dev/null || userdel "$user" ;;
    esac
done < <(getent passwd)
# The service's user as sysusers.d makes it, unless the package made it already.
if ! getent group canservice > /dev/null; then groupadd --system canservice; made_groups+=(canservice); fi
if ! getent passwd canservice > /dev/null; then
    useradd --system --gid canservice --no-create-home --home-dir / --shell /usr/sbin/nologin \
        --comment "$mark" canservice
    made_users+=(canservice)
fi
useradd --system --no-create-home --shell /usr/sbin/nologin --groups canservice --comment "$mark" "$operator"
made_users+=("$operator")

cat > "$work/bus.conf" << CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/system.conf</include>
  <include>$policy</include>
</busconfig>
CONF
address="unix:path=$work/bus"
dbus-daemon --config-file="$work/bus.conf" --address="$address" --nofork --nopidfile 2> "$work/daemon.log" &
pids+=($!)
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
[ -S "$work/bus" ] || { cat "$work/daemon.log"; fail "the bus did not start"; }

as() { local user=$1; shift; setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups "$@"; }
call() { local user=$1; shift
    as "$user" gdbus call --address "$address" --dest org.canservice.Vehicle1 \
        --object-path /org/canservice/Vehicle1 --method "$@" 2>&1; }

# Only the service's user may own the name.
out=$(timeout 10 setpriv --reuid=nobody --regid=nogroup --init-groups env DBUS_SYSTEM_BUS_ADDRESS="$address" "$work/usr/bin/canservice" serve --sim --bus system 2>&1 > /dev/null) &&
    fail "nobody could own the name"
grep -q "not allowed to own" <<< "$out" || fail "nobody's refusal: $out"
echo "ok: nobody may not own the name: $out"

# Started as systemd starts it: its own user, its own group (no function: $! is the service).
setpriv --reuid=canservice --regid=canservice --init-groups env DBUS_SYSTEM_BUS_ADDRESS="$address" \
    "$work/usr/bin/canservice" serve --sim --bus system > "$work/service.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    call nobody org.canservice.Vehicle1.GetValues | grep -q "'Vehicle.Speed'" && break
    sleep 0.1
done

for user in root nobody; do
    values=$(call "$user" org.canservice.Vehicle1.GetValues)
    grep -q "'Vehicle.Speed': <" <<< "$values" || fail "$user cannot read the values: $values"
    link=$(call "$user" org.freedesktop.DBus.Properties.Get org.canservice.Vehicle1 Link)
    [ "$link" = "(<'up'>,)" ] || fail "$user reads the link as $link"
    call "$user" org.freedesktop.DBus.Introspectable.Introspect | grep -q SendClimateKey ||
        fail "$user cannot introspect"
    echo "ok: $user reads"
    refused=$(call "$user" org.canservice.Vehicle1.SendClimateKey 19 0) && fail "$user could send a key"
    grep -q "org.freedesktop.DBus.Error.AccessDenied" <<< "$refused" || fail "$user's key: $refused"
    refused=$(call "$user" org.canservice.Vehicle1.RequestClimate) && fail "$user could request data"
    grep -q "AccessDenied" <<< "$refused" || fail "$user's request: $refused"
    echo "ok: $user's commands are refused by the bus"
done

# The refused calls never reached the service; the accepted one comes after them on the same bus,
# so when the box has heard it, it would have heard them.
[ "$(call "$operator" org.canservice.Vehicle1.SendClimateKey 0 0)" = "()" ] || fail "the operator's key was refused"
for _ in $(seq 50); do grep -q "box <- climate" "$work/service.log" && break; sleep 0.1; done
[ "$(grep -c "box <- climate" "$work/service.log")" -eq 1 ] || fail "the box heard $(grep -c "box <- climate" "$work/service.log") climate commands, not 1"
grep -q "box <- request climate" "$work/service.log" && fail "a refused request reached the box"
echo "ok: a member of canservice reaches the box, and only it"
