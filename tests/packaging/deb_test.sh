#!/bin/sh
# Builds the Debian package, unpacks it into a scratch root and runs the
# command-line tool from there on the demo mailbox.
# Usage: deb_test.sh <build dir> <quillmend-mkdbx>
set -eu
build=${1:?build dir}
mkdbx=${2:?quillmend-mkdbx}
command -v dpkg-shlibdeps >/dev/null 2>&1 || { echo "skipped: dpkg-dev is not installed"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Uncompressed: what is checked is the package's fields and files, and the
# compression is dpkg-deb's own (it takes most of the time otherwise).
cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" -D CPACK_DEBIAN_COMPRESSION_TYPE=none >/dev/null
deb=$(ls "$scratch"/out/quillmend_*.deb)
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' || { echo "FAIL: no computed dependencies"; exit 1; }
dpkg-deb --field "$deb" Recommends | grep -q 'libunwind' || { echo "FAIL: no Recommends"; exit 1; }
dpkg -x "$deb" "$scratch/root"
"$scratch/root/usr/bin/quillmend-cli" --version
"$mkdbx" demo "$scratch/Inbox.dbx" >/dev/null
"$scratch/root/usr/bin/quillmend-cli" list "$scratch/Inbox.dbx" | tail -n 1 | grep -q '^11 e-mails$' \
    || { echo "FAIL: the packaged tool does not list the demo mailbox"; exit 1; }
[ -e "$scratch/root/usr/share/quillmend/help.htm" ] && [ -e "$scratch/root/usr/share/quillmend/help/main_window.png" ] || { echo "FAIL: no help page in the package"; exit 1; }
echo "package $(basename "$deb") works"
