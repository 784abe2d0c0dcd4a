#!/bin/sh
# The folder that make install (tools/install-keyloom) puts Keyloom into is
# private: after installing into a new folder and into an existing
# world-readable one, another user can read neither the folder nor the
# PASSWORD.TXT that Wine creates in it. Needs root, to act as nobody.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "$(id -u)" -ne 0 ] || ! id nobody >/dev/null 2>&1; then
    echo "skipped: needs root and the user nobody"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Others may pass through the folders above, as through a home folder.
chmod 755 "$work"
mkdir -p "$work/home/.local/share"
chmod -R 755 "$work/home"
printf 'MZ' >"$work/keyloom.exe"
printf '<html>' >"$work/KEYLOOM.HTM"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
install_into() { "$root/tools/install-keyloom" "$1" "$work/keyloom.exe" "$work/KEYLOOM.HTM"; }
# PASSWORD.TXT as Wine writes it: readable by everyone unless the folder stops them.
write_passwords() { (umask 022 && printf 'KEYLOOM1\r\n' >"$1/PASSWORD.TXT"); }
nobody_can() { runuser -u nobody -- "$@" >/dev/null 2>&1; }

# The folder that make run used to leave: 0755 with a 0644 PASSWORD.TXT.
old=$work/home/.local/share/old
mkdir -m 755 "$old"
write_passwords "$old"
nobody_can cat "$old/PASSWORD.TXT" || fail "nobody cannot read the file even before: the test proves nothing"
said=$(install_into "$old")
echo "$said" | grep -q "Made $old private" || fail "the user was not told that $old was made private"
said=$(install_into "$old")
echo "$said" | grep -q "private" && fail "the user was told a second time: $said"

new=$work/home/.local/share/keyloom
install_into "$new" >/dev/null
write_passwords "$new"

for folder in "$old" "$new"; do
    [ -f "$folder/keyloom.exe" ] && [ -f "$folder/KEYLOOM.HTM" ] || fail "$folder lacks the program or its help"
    nobody_can ls "$folder" && fail "nobody can list $folder"
    nobody_can cat "$folder/PASSWORD.TXT" && fail "nobody can read $folder/PASSWORD.TXT"
done
echo "passed"
