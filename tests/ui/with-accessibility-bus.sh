#!/bin/sh
# Runs a test program as on a desktop with a screen reader: an X display of
# its own, a session bus, and the accessibility bus the toolkit's bridge
# talks to. Exit status 77 (a skip) when one of them is not installed.
for tool in dbus-run-session xvfb-run xauth /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null 2>&1 || exit 77
done
exec dbus-run-session -- sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    launcher=$!
    sleep 0.5
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb xvfb-run -a "$@"
    status=$?
    kill "$launcher" 2>/dev/null
    exit "$status"' sh "$@"
