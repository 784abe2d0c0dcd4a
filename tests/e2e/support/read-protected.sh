#!/bin/sh
# tools/read-protected on a file that keyloom.exe wrote: TEST_EXE, run under
# Wine in WINE_DIR, protects a list through Keyloom's dialog and leaves in a
# fresh folder under WORK_DIR the protected PASSWORD.TXT, the plain bytes it
# must hold (expected.txt) and the password (master-password.txt, UTF-8; not
# password.txt, which is PASSWORD.TXT to Windows). The reader must print
# exactly those bytes, and refuse a wrong password.
#
#   read-protected.sh TEST_EXE WINE_DIR WORK_DIR
#
# The prefix needs `tools/wine-env setup` first (CTest's fixture does it). The
# folder is removed when everything passes, and kept otherwise.
set -u
root=$(cd "$(dirname "$0")/../../.." && pwd)
mkdir -p "$3"
out=$(mktemp -d "$(cd "$3" && pwd)/run.XXXXXX")
KEYLOOM_WINE_DIR=$(cd "$2" && pwd) "$root/tools/wine-env" run "$1" \
    "Z:$(printf '%s' "$out" | tr / '\\')"
status=$?
fail() {
    echo "read-protected.sh: $1; kept $out" >&2
    exit 1
}
[ "$status" -eq 0 ] || fail "the Wine test ended with $status"
[ -s "$out/PASSWORD.TXT" ] || fail "the Wine test left no PASSWORD.TXT"
export PYTHONIOENCODING=utf-8
python3 "$root/tools/read-protected" "$out/PASSWORD.TXT" <"$out/master-password.txt" >"$out/plain.txt" ||
    fail "the reader did not open what Keyloom wrote"
cmp "$out/plain.txt" "$out/expected.txt" || fail "the reader printed other bytes than the list"
printf 'wrong\n' | python3 "$root/tools/read-protected" "$out/PASSWORD.TXT" >/dev/null 2>&1
[ $? -eq 1 ] || fail "the reader did not refuse a wrong password"
echo "read-protected.sh: tools/read-protected read what keyloom.exe wrote"
rm -rf "$out"
