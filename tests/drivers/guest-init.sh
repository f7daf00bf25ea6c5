#!/bin/sh
# The test machine's first process: it mounts what the checks need, loads the
# USB serial drivers, and then runs each line the lane sends on the console as
# a shell command, answering "@@RC <status>" after it.
export PATH=/bin
/bin/busybox --install -s /bin
mkdir -p /proc /sys /tmp /run/lock
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mount -t tmpfs -o mode=1777 tmpfs /run/lock
dmesg -n 1
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
    insmod /lib/modules/$module.ko || echo "@@FAIL insmod $module"
done
stty -F /dev/console -echo
# The adapter is ready about a second after its driver is loaded.
rounds=500
while [ ! -e /dev/ttyUSB0 ] && [ $rounds -gt 0 ]; do
    usleep 20000
    rounds=$((rounds - 1))
done

# The serial devices belong to the dialout group, as udev has them.
ports() {
    for device in /dev/ttyS1 /dev/ttyUSB0; do
        [ -e $device ] && chgrp dialout $device && chmod 660 $device
    done
    return 0
}

# bg TAG COMMAND...: runs COMMAND in the background with its output in
# /tmp/TAG.log and its process id in /tmp/TAG.pid; "@@EXIT TAG <status>"
# comes on the console when it ends.
bg() {
    tag=$1
    shift
    rm -f /tmp/$tag.log /tmp/$tag.pid
    ( "$@" > /tmp/$tag.log 2>&1 &
      echo $! > /tmp/$tag.pid
      wait $!
      echo "@@EXIT $tag $?" ) &
    rounds=2500
    while [ ! -s /tmp/$tag.pid ] && [ $rounds -gt 0 ]; do
        usleep 2000
        rounds=$((rounds - 1))
    done
}

# waitfor FILE TEXT SECONDS: until FILE holds TEXT.
waitfor() {
    rounds=$(($3 * 50))
    while ! grep -q "$2" "$1" 2>/dev/null; do
        rounds=$((rounds - 1))
        [ $rounds -gt 0 ] || return 1
        usleep 20000
    done
}

# uartlines TAG: records the modem lines of the second UART, as the driver
# reports them without opening the port, until /tmp/TAG.stop exists.
uartlines() {
    rm -f /tmp/$1.stop /tmp/$1.lines
    ( while [ ! -e /tmp/$1.stop ]; do
          grep '^1:' /proc/tty/driver/serial | sed 's/.* rx:[0-9]*//' >> /tmp/$1.lines
          usleep 10000
      done ) &
}

ports
echo "@@READY"
while IFS= read -r line; do
    eval "$line"
    echo "@@RC $?"
done < /dev/console
poweroff -f
