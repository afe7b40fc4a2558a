#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds Quillmend, makes the
# demo mailbox and recovers it: lists every e-mail it finds and saves them.
# Then, when a display is available, opens the demo mailbox in the desktop
# program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh default

demo=demo
mkdir -p "$demo"
build/tools/quillmend-mkdbx demo "$demo/Inbox.dbx"
echo "== E-mails found in $demo/Inbox.dbx"
build/cli/quillmend-cli list "$demo/Inbox.dbx"
rm -rf "$demo/saved"
mkdir -p "$demo/saved"
echo "== Saving them to $demo/saved"
build/cli/quillmend-cli save "$demo/Inbox.dbx" "$demo/saved"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== Starting the desktop program on the demo mailbox"
  exec build/app/quillmend "$demo/Inbox.dbx"
else
  echo "== No display: the desktop program (build/app/quillmend) needs one"
fi
