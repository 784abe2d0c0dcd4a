#!/bin/sh
# Stands in for the desktop's browser in the test of a Shift key held down:
# holds Shift on the X display for the milliseconds at the end of the address
# it is given (http://hold-shift/1500), as a user's hand still on the key.
# Keys a test sends through Windows are let go by Wine as a window takes the
# focus; a key held on the X keyboard is not.
ms=$(printf '%s' "$1" | tr -cd '0-9')
xdotool keydown shift
sleep "$(awk "BEGIN { print ${ms:-1000} / 1000 }")"
xdotool keyup shift
