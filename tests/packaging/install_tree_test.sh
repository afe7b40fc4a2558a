#!/bin/sh
# Installs the build into a scratch prefix and uses it as a user would: the
# command-line tool lists a mailbox, the desktop files validate, and the
# desktop program starts from the installed tree in a virtual X server.
# Usage: install_tree_test.sh <build dir> <quillmend-mkdbx> <smoke_xvfb.sh>
set -eu
build=${1:?build dir}
mkdbx=${2:?quillmend-mkdbx}
smoke=${3:?smoke script}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/quillmend bin/quillmend-cli share/quillmend/help.htm share/quillmend/help/main_window.png share/quillmend/default.htm \
         share/applications/io.github.quillmend.Quillmend.desktop \
         share/metainfo/io.github.quillmend.Quillmend.metainfo.xml share/mime/packages/quillmend.xml \
         share/icons/hicolor/48x48/apps/quillmend.png share/icons/hicolor/256x256/apps/quillmend.png \
         share/man/man1/quillmend.1 share/man/man1/quillmend-cli.1; do
    [ -e "$prefix/$f" ] || { echo "FAIL: $f is not installed"; exit 1; }
done
if [ -e "$build/app/quillmend-bugreport" ] && [ ! -e "$prefix/bin/quillmend-bugreport" ]; then
    echo "FAIL: the report program is not installed"; exit 1
fi

"$prefix/bin/quillmend-cli" --version
"$mkdbx" demo "$scratch/Inbox.dbx" >/dev/null
"$prefix/bin/quillmend-cli" list "$scratch/Inbox.dbx" | tail -n 1 | grep -q '^11 e-mails$' \
    || { echo "FAIL: the installed tool does not list the demo mailbox"; exit 1; }

desktop-file-validate "$prefix/share/applications/io.github.quillmend.Quillmend.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.quillmend.Quillmend.metainfo.xml"
for page in "$prefix/share/man/man1/"*.1; do
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || true
    [ -z "$out" ] || { echo "FAIL: $page: $out"; exit 1; }
done

# The desktop program from the installed tree (skipped without X tools).
"$smoke" "$prefix/bin/quillmend"
