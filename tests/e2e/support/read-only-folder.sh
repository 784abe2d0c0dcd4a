#!/bin/sh
# A folder holding keyloom.exe and an empty list, mounted read-only over
# itself, for the test of a folder that cannot be written (the tests run as
# root, which a read-only file bit does not stop).
#
#   read-only-folder.sh setup FOLDER KEYLOOM.EXE
#   read-only-folder.sh cleanup FOLDER
set -u
folder=$2
umount "$folder" 2>/dev/null
case $1 in
setup)
    rm -rf "$folder"
    mkdir -p "$folder"
    cp "$3" "$folder/keyloom.exe"
    printf 'KEYLOOM1\r\n0\r\n' >"$folder/PASSWORD.TXT"
    if ! { mount --bind "$folder" "$folder" && mount -o remount,bind,ro "$folder"; } 2>/dev/null; then
        echo "read-only-folder: cannot mount $folder read-only; its test is skipped"
    fi
    ;;
cleanup) rm -rf "$folder" ;;
esac
exit 0
