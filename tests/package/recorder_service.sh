#!/bin/bash
# quva-recorder@.service: systemd-analyze verifies the unit (where systemd is present), and
# its command line runs as the service runs it: as the package's user (numbers assigned by
# systemd-sysusers from the package's file, in a scratch root) with the dialout group, in
# the state folder, from a line's configuration made from the example, against the
# simulator and a broker; a SIGTERM (systemctl stop) ends it with every line written and
# "offline" published. Running as another user needs root: otherwise it says so and skips.
# Usage: recorder_service.sh QUVA_RECORDER QUVA_SIM
set -euo pipefail
recorder=$1
sim=$2
packaging=$(realpath "$(dirname "$0")/../../packaging")
unit="$packaging/quva-recorder@.service"

source "$(dirname "$0")/scratch.sh"
chmod 755 "$work"

# The unit as installed, with the program where this build has it.
if command -v systemd-analyze >/dev/null; then
    mkdir "$work/units"
    sed "s|/usr/bin/quva-recorder|$recorder|" "$unit" >"$work/units/quva-recorder@line1.service"
    systemd-analyze verify --man=no "$work/units/quva-recorder@line1.service" ||
        fail "systemd-analyze verify"
    echo "ok: systemd-analyze verify"
else
    echo "systemd-analyze not installed: the unit is not verified"
fi

if ((EUID != 0)); then
    echo "SKIP: running the recorder as the service's user needs root"
    exit 77
fi

# The package's user, as systemd-sysusers makes it.
mkdir -p "$work/sysroot/etc"
cp /etc/group "$work/sysroot/etc/group"
touch "$work/sysroot/etc/passwd" "$work/sysroot/etc/shadow" "$work/sysroot/etc/gshadow"
systemd-sysusers --root="$work/sysroot" "$packaging/quva-recorder.sysusers" >/dev/null 2>&1 ||
    fail "systemd-sysusers"
uid=$(awk -F: '$1 == "quva-recorder" { print $3 }' "$work/sysroot/etc/passwd")
gid=$(awk -F: '$1 == "quva-recorder" { print $4 }' "$work/sysroot/etc/passwd")
dialout=$(awk -F: '$1 == "dialout" { print $3 }' /etc/group)
grep -q '^dialout:.*quva-recorder' "$work/sysroot/etc/group" || fail "the user is not in dialout"
[[ -n "$uid" && "$uid" != 0 && -n "$dialout" ]] || fail "no user quva-recorder: uid $uid"

# The simulated line, its port with a serial device's owner and mode.
cd "$work"
"$sim" --address 1,2 --rate 5 --exit-with-parent >sim.out 2>sim.err &
pids+=($!)
waitFor 300 grep -q '^port: ' sim.out || fail "quva-sim gave no port: $(cat sim.err)"
port=$(sed -n 's/^port: //p' sim.out)
chgrp dialout "$port"
chmod 660 "$port"

brokerPort=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$brokerPort" >mosquitto.conf
mosquitto -c mosquitto.conf >broker.out 2>&1 &
pids+=($!)
waitFor 300 bash -c "echo >/dev/tcp/127.0.0.1/$brokerPort" 2>/dev/null || fail "no broker"
mosquitto_sub -h 127.0.0.1 -p "$brokerPort" -t 'quva/+/status' -v >status.out &
pids+=($!)

# /etc/quva-recorder/line1.conf from the example, and the state folder systemd makes.
sed -e "s|^QUVA_PORT=.*|QUVA_PORT=$port|" \
    -e "s|^QUVA_OPTIONS=.*|QUVA_OPTIONS=--mqtt mqtt://127.0.0.1:$brokerPort|" \
    "$packaging/quva-recorder-example.conf" >line1.conf
state="$work/var/lib/quva-recorder/line1"
mkdir -p "$state"
chown "$uid:$gid" "$state"

# ExecStart as systemd expands it: ${NAME} one word, $NAME split at blanks.
execStart=$(sed -n 's/^ExecStart=//p' "$unit")
(
    # An EnvironmentFile: NAME=VALUE lines, the value taken whole, blanks included.
    while IFS='=' read -r name value; do
        [[ "$name" =~ ^QUVA_[A-Z]+$ ]] && printf -v "$name" '%s' "$value"
    done <line1.conf
    command=${execStart//\$\{QUVA_RECORD\}/\'$QUVA_RECORD\'}
    command=${command//\$\{QUVA_PORT\}/$QUVA_PORT}
    command=${command//\$\{QUVA_ADDRESSES\}/$QUVA_ADDRESSES}
    command=${command//\$QUVA_OPTIONS/$QUVA_OPTIONS}
    command=${command//\/usr\/bin\/quva-recorder/$recorder}
    cd "$state"
    eval "exec setpriv --reuid=$uid --regid=$gid --groups=$dialout --inh-caps=-all $command"
) >recorder.out 2>recorder.err &
recorderPid=$!
pids+=($recorderPid)

files=("$state/run-00-12-AB-CD.csv" "$state/run-00-12-AB-CE.csv")
lines() {
    local count
    count=$(grep -c '^20' "$1" 2>/dev/null) || true
    echo "${count:-0}"
}
enough() { (($(lines "${files[0]}") >= 5 && $(lines "${files[1]}") >= 5)); }
waitFor 600 enough || fail "no samples as the service's user: $(cat recorder.err)"
[[ "$(stat -c %u "${files[0]}")" == "$uid" ]] || fail "the file is not the user's"

# systemctl stop: SIGTERM, then the end within the unit's TimeoutStopSec.
kill -TERM "$recorderPid"
for _ in $(seq 300); do kill -0 "$recorderPid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$recorderPid" 2>/dev/null && fail "still running after SIGTERM"
code=0
wait "$recorderPid" || code=$?
((code == 0)) || fail "exit code $code: $(cat recorder.err)"
for file in "${files[@]}"; do
    serial=$(basename "$file" .csv | sed 's/^run-//')
    grep -q "recorded $(lines "$file") samples to $file" recorder.out ||
        fail "the closing lines do not count $file: $(cat recorder.out | tail -5)"
    waitFor 300 grep -q "^quva/$serial/status offline" status.out ||
        fail "no offline for $serial: $(cat status.out)"
done
echo "ok: recorded as uid $uid with dialout, $(lines "${files[0]}") and $(lines "${files[1]}") samples, offline published"
