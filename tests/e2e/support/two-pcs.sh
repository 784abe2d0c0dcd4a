#!/bin/sh
# Two PCs on one folder: TEST_EXE runs at once as "first" in the Wine prefix
# WINE_DIR_A and as "second" in WINE_DIR_B (windows do not cross wineservers),
# on a fresh folder under WORK_DIR, removed when both pass. A half's exit
# status goes into "<half>.ended" there, so that the other stops waiting.
# Both prefixes need `tools/wine-env setup` first (CTest's fixtures do it).
#   two-pcs.sh TEST_EXE WINE_DIR_A WINE_DIR_B WORK_DIR
set -u
wine_env=$(cd "$(dirname "$0")/../../.." && pwd)/tools/wine-env
exe=$1
# Wine wants its prefix as an absolute path.
dir_a=$(cd "$2" && pwd) dir_b=$(cd "$3" && pwd)
mkdir -p "$4"
folder=$(mktemp -d "$(cd "$4" && pwd)/run.XXXXXX")
windows_folder=Z:$(printf '%s' "$folder" | tr / '\\')

half() { # first|second WINE_DIR
    KEYLOOM_WINE_DIR=$2 "$wine_env" run "$exe" "$1" "$windows_folder" >"$folder/$1.log" 2>&1
    status=$?
    # Whole when it appears: the other half reads the status at once.
    printf %s "$status" >"$folder/$1.status" && mv "$folder/$1.status" "$folder/$1.ended"
    return "$status"
}

half second "$dir_b" &
second=$!
half first "$dir_a"
first=$?
wait "$second"
second=$?

# One after the other, so that their lines do not interleave.
for name in first second; do
    echo "==== the $name PC ($name.log)"
    cat "$folder/$name.log"
done
if [ "$first" -eq 0 ] && [ "$second" -eq 0 ]; then
    rm -rf "$folder"
    exit 0
fi
echo "two-pcs.sh: the first PC ended with $first, the second with $second; kept $folder" >&2
exit 1
