#!/usr/bin/env bash
# A 64 KiB file system for the full-disk test: "mount FOLDER" makes it (as root only; elsewhere the
# folder is left out and the test skips), "unmount FOLDER" removes it.
set -u
action=$1
folder=$2
case "$action" in
mount)
    mountpoint -q "$folder" && umount "$folder"
    rm -rf "$folder"
    mkdir -p "$folder"
    if [ "$(id -u)" -ne 0 ] || ! mount -t tmpfs -o size=64k piclade-small-disk "$folder" 2>/dev/null; then
        rmdir "$folder"
        echo "no small disk: the full-disk test skips"
    fi
    ;;
unmount)
    if mountpoint -q "$folder"; then umount "$folder"; fi
    rm -rf "$folder"
    ;;
esac
exit 0
