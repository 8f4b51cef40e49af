#!/bin/sh
# PID 1 of the emulated 32-bit test machine. It only prepares the basics;
# the run's own steps come from the inputs disk, so that changing them does
# not rebuild the image.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs -o mode=1777 shm /dev/shm
mount -t tmpfs -o mode=1777 tmp /tmp
hostname lane32
echo "lane32: init up at $(cut -d' ' -f1 /proc/uptime) s"
mkdir -p /tmp/in
if tar -xf /dev/vdb -C /tmp/in; then
    python3 /tmp/in/source/tests/e2e/lane32/guest.py /tmp/in
    echo "lane32: guest exit $?"
else
    echo "lane32: no inputs on /dev/vdb"
fi
sync
echo o >/proc/sysrq-trigger
sleep 60
