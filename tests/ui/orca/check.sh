#!/bin/sh
# What Orca speaks of a download in the window, at the line's own rate:
#   tests/ui/orca/check.sh BUILD-FOLDER [RECEIVER-OPTIONS...]
# Needs orca, speech-dispatcher and xvfb (Debian's packages) and root (the
# receiver's link is /dev/COM1). Prints what Orca spoke, and fails unless it
# spoke the final status and never fell behind ("DELUGE").
set -u
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/bc245xlt-orca-XXXXXX)
[ $# -gt 0 ] || set -- --baud 9600
# Speech goes to libao's null driver: no sound device is needed, and speech is
# timed as if it were played.
mkdir -p "$work/config/speech-dispatcher"
sed '/^ *AudioOutputMethod/d' /etc/speech-dispatcher/speechd.conf >"$work/config/speech-dispatcher/speechd.conf"
echo 'AudioOutputMethod "libao"' >>"$work/config/speech-dispatcher/speechd.conf"
echo 'default_driver=null' >"$work/.libao"
export HOME="$work" XDG_CONFIG_HOME="$work/config"
pkill -x speech-dispatch 2>/dev/null
dbus-run-session -- sh -c '
    build=$1 here=$2 work=$3
    shift 3
    export DISPLAY=:97
    Xvfb :97 -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    sleep 1
    /usr/bin/python3 "$here/lined.py" "$work/orca.log" >"$work/orca.out" 2>&1 &
    orca=$!
    sleep 6
    "$build/tools/bc245xlt-virtual-receiver" first --link /dev/COM1 --force --timeout 90 "$@" \
        >"$work/receiver.log" 2>&1 &
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$build/ui/bc245xlt" >"$work/window.log" 2>&1 &
    window=$!
    sleep 3
    timeout 100 /usr/bin/python3 "$here/drive.py"
    sleep 25
    kill "$window" "$orca" 2>/dev/null
    pkill -x speech-dispatch
    kill "$xvfb"' sh "$build" "$here" "$work" "$@" 2>/dev/null
grep "SPEECH OUTPUT" "$work/orca.log" | sed "s/{.*//"
grep -c DELUGE "$work/orca.log" | sed "s/^/DELUGE lines: /"
grep -q "SPEECH OUTPUT: 'notification \(Download complete\|Upload complete\|ERROR\)" "$work/orca.log" &&
    ! grep -q DELUGE "$work/orca.log"
status=$?
echo "Orca's log: $work/orca.log"
exit $status
