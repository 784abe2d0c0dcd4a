#!/bin/sh
# Two PCs on one folder. Windows do not cross wineservers, so each PC is a
# Wine prefix with a driver of its own: TEST_EXE runs twice at once, as
# "first" in WINE_DIR_A and as "second" in WINE_DIR_B, on a fresh folder
# under WORK_DIR. The halves pace each other through marker files in that
# folder; when a half's process ends, "<half>.ended" there says so with its
# exit status, and the other stops waiting for it.
#
#   two-pcs.sh TEST_EXE WINE_DIR_A WINE_DIR_B WORK_DIR
#
# Both prefixes need `tools/wine-env setup` first (CTest's fixtures do it).
# The folder is removed when both halves pass, and kept otherwise. By hand,
# from the top of the tree after `make win`:
#
#   for d in wine wine-b; do KEYLOOM_WINE_DIR=$PWD/build/win/$d tools/wine-env setup; done
#   tests/e2e/support/two-pcs.sh build/win/tests/e2e/two_pcs_test.exe \
#       build/win/wine build/win/wine-b build/win/tests/e2e/two-pcs
#   for d in wine wine-b; do KEYLOOM_WINE_DIR=$PWD/build/win/$d tools/wine-env cleanup; done
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
