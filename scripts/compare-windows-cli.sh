#!/usr/bin/env bash
# Runs the Linux and the Windows (under Wine) quillmend-cli side by side on
# the fixture corpus and fails on any difference in what they print, save or
# exit with:
#   compare-windows-cli.sh LINUX_CLI WINDOWS_CLI.exe MKDBX WINE_PREFIX
# The corpus: the demo mailbox, a generated mailbox with attachments, the
# same demo under a name outside ASCII, and every hostile file of the
# engine's fuzz corpus. list --json, list and cat must match byte for byte;
# save's files, names, times, manifest and mbox too, and carve's; find's
# and store's output once Windows' '\' separators read as '/'. Every run is
# in UTC.
set -uo pipefail
for tool in "$1" "$2" "$3"; do
  [ -f "$tool" ] || { echo "compare-windows-cli.sh: $tool is not built" >&2; exit 2; }
done
# Absolute: each tool runs in a folder of its own.
lin=$(realpath "$1")
win=$(realpath "$2")
mkdbx=$(realpath "$3")
prefix=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmend-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TZ=UTC

runs=0
failures=0

# run SIDE DIR ARGS...: the side's tool in DIR; output in DIR/.out, .err,
# .rc. A run that hangs is ended after two minutes (status 124), so that it
# shows as a difference instead of holding up the whole test run.
run() {
  local side=$1 dir=$2
  shift 2
  if [ "$side" = lin ]; then
    (cd "$dir" && timeout -k 5 120 "$lin" "$@" >.out 2>.err; echo $? >.rc)
  else
    (cd "$dir" && timeout -k 5 120 "$here/wine-run.sh" "$prefix" "$win" "$@" >.out 2>.err; echo $? >.rc)
  fi
}

# Windows paths as Linux writes them: '\' as '/'; names from the clock
# (an e-mail without a subject) as <clock>.
normalise() {
  sed -e 's|\\\\|/|g' -e 's|\\|/|g' -e 's|[0-9]\{6,\}\.eml|<clock>.eml|g' "$@"
}

differs() {
  echo "DIFFERS: $1"
  failures=$((failures + 1))
}

# same LABEL [normalise] ARGS...: both tools in $work/lin and $work/win.
same() {
  local label=$1 filter=cat
  shift
  case $1 in normalise | store_paths)
    filter=$1
    shift
    ;;
  esac
  runs=$((runs + 1))
  run lin "$work/lin" "$@"
  run win "$work/win" "$@"
  if ! cmp -s "$work/lin/.rc" "$work/win/.rc"; then
    differs "$label: exit status $(cat "$work/lin/.rc") on Linux, $(cat "$work/win/.rc") on Windows"
    echo "Linux said:" && head -c 300 "$work/lin/.err"
    echo "Windows said:" && head -c 300 "$work/win/.err"
    echo "bytes on stdout: $(wc -c <"$work/lin/.out") on Linux, $(wc -c <"$work/win/.out") on Windows"
  elif ! cmp -s <($filter "$work/lin/.out") <($filter "$work/win/.out"); then
    differs "$label: standard output"
    diff <($filter "$work/lin/.out") <($filter "$work/win/.out") | head -10
  fi
}

# What a save left in OUT: each file's digest, name and (unless "undated"
# follows) modification time; a manifest in it is compared on its own.
saved() {
  (cd "$1" && for f in *; do
    [ -e "$f" ] && [ "$f" != manifest.json ] || continue
    printf '%s %s' "$(sha256sum <"$f" | cut -c1-64)" "$f"
    [ "${2:-}" = undated ] && echo || echo " $(stat -c %Y "$f")"
  done) | normalise | sort
}

# The manifest without what names this run (its time and absolute paths).
manifest() {
  grep -v '^"written"\|^"folder"' "$1" | sed -e 's|"path":"[^"]*"|"path":P|g' | normalise
}

mkdir -p "$work/corpus" "$work/lin" "$work/win"
"$mkdbx" demo "$work/corpus/demo.dbx" >/dev/null
"$mkdbx" bench --size 2M --seed 3 --attachment-share 0.15 "$work/corpus/bench.dbx" >/dev/null
cp "$work/corpus/demo.dbx" "$work/corpus/Posteingang Zürich €.dbx"
cp "$source_dir"/fuzz/corpus/fuzz_engine/* "$work/corpus/"
# Both tools run in a folder of their own and name the corpus by the same
# relative path.
for file in "$work"/corpus/*; do
  name=../corpus/$(basename "$file")
  same "list --json $name" list "$name" --json
  same "list $name" list "$name"
  count=$(grep -c '^{"index"' "$work/lin/.out" 2>/dev/null || true)
  count=${count:-0}
  # Every e-mail of the generated mailboxes; the first and last elsewhere.
  if [ "$count" -le 60 ]; then indexes=$(seq 0 $((count - 1))); else indexes="0 $((count - 1))"; fi
  case $name in *demo.dbx | *bench.dbx) indexes=$(seq 0 $((count - 1))) ;; esac
  for i in $indexes; do
    same "cat $name $i" cat "$name" "$i"
  done
done
same "cat of an index past the end" cat ../corpus/demo.dbx 99
same "list of a missing file" list ../corpus/missing.dbx

# save: the same files with the same names, bytes and times; the same
# manifest; the same mbox.
for mailbox in demo.dbx bench.dbx 'Posteingang Zürich €.dbx'; do
  rm -rf "$work/lin/out" "$work/win/out"
  same "save $mailbox" normalise save "../corpus/$mailbox" out --manifest out.json
  if ! cmp -s <(saved "$work/lin/out") <(saved "$work/win/out"); then
    differs "save $mailbox: the files saved"
    diff <(saved "$work/lin/out") <(saved "$work/win/out") | head -10
  fi
  if ! cmp -s <(manifest "$work/lin/out.json") <(manifest "$work/win/out.json"); then
    differs "save $mailbox: the manifest"
    diff <(manifest "$work/lin/out.json") <(manifest "$work/win/out.json") | head -10
  fi
  rm -f "$work/lin/out.json" "$work/win/out.json" "$work/lin/out.mbox" "$work/win/out.mbox"
  same "save $mailbox --mbox" save "../corpus/$mailbox" --mbox out.mbox --deleted
  if ! cmp -s "$work/lin/out.mbox" "$work/win/out.mbox"; then
    differs "save $mailbox --mbox: the mbox"
  fi
done

# save shares its writing among threads that wait for one another: a lost
# wake-up hangs it only now and then, so it runs again and again here.
for round in $(seq 1 20); do
  rm -rf "$work/win/out"
  QUILLMEND_THREADS=4 run win "$work/win" save ../corpus/bench.dbx out
  if [ "$(cat "$work/win/.rc")" != 0 ]; then
    differs "save bench.dbx on four threads, round $round: exit status $(cat "$work/win/.rc")"
    break
  fi
done

# carve: a disk image holding part of one mail file and all of another;
# the files it rebuilds, byte for byte, and its manifest.
(head -c 1000000 "$work/corpus/bench.dbx"; cat "$work/corpus/demo.dbx"; head -c 300000 /dev/zero) >"$work/disk.img"
same "carve --json" carve ../disk.img --json
same "carve --extract" normalise carve ../disk.img --extract extracted
# Rebuilt files are dated when they are written.
if ! cmp -s <(saved "$work/lin/extracted" undated) <(saved "$work/win/extracted" undated); then
  differs "carve --extract: the files rebuilt"
  diff <(saved "$work/lin/extracted" undated) <(saved "$work/win/extracted" undated) | head -10
fi
if ! cmp -s <(manifest "$work/lin/extracted/manifest.json") <(manifest "$work/win/extracted/manifest.json"); then
  differs "carve --extract: the manifest"
  diff <(manifest "$work/lin/extracted/manifest.json") <(manifest "$work/win/extracted/manifest.json") | head -10
fi

# find: always with a PATH (without one it walks every drive, Z:\ being /).
mkdir -p "$work/tree/Mail/Old Mail" "$work/tree/Ärchiv"
cp "$work/corpus/demo.dbx" "$work/tree/Mail/Inbox.dbx"
cp "$work/corpus/demo.dbx" "$work/tree/Mail/Old Mail/Sent Items.DBX"
cp "$work/corpus/demo.dbx" "$work/tree/Ärchiv/Gelöscht.dbx"
echo text >"$work/tree/Mail/notes.txt"
same "find" normalise find ../tree
same "find --json" normalise find --json ../tree
same "find -0" normalise find -0 ../tree
same "find of a missing folder" find ../tree/missing

# store: the same registry, Wine's own, read by Windows through Wine's
# registry functions and by Linux from the prefix's user.reg; its keys are
# written with "wine reg add" and saved by ending the wineserver.
reg() { WINEPREFIX=$prefix WINEDEBUG=-all wine reg "$@" >/dev/null 2>&1; }
oe='Software\Microsoft\Outlook Express\5.0'
mkdir -p "$work/Store Main" "$work/Störe Ann"
cp "$work/corpus/demo.dbx" "$work/Store Main/Inbox.dbx"
cp "$work/corpus/bench.dbx" "$work/Störe Ann/Sent Items.DBX"
reg delete 'HKCU\Identities' /f
reg add 'HKCU\Identities' /v 'Last User ID' /d '{BBBB}' /f
reg add 'HKCU\Identities\{aaaa}' /v Username /d 'Main Identity' /f
windows_work=Z:${work//\//\\}
reg add "HKCU\\Identities\\{aaaa}\\$oe" /v 'Store Root' /t REG_EXPAND_SZ /d "$windows_work\\Store Main" /f
reg add 'HKCU\Identities\{BBBB}' /v Username /d 'Ann Åberg' /f
reg add "HKCU\\Identities\\{BBBB}\\$oe" /v 'Store Root' /d "$windows_work\\Störe Ann" /f
WINEPREFIX=$prefix wineserver -k 2>/dev/null
WINEPREFIX=$prefix wineserver -w
WINEPREFIX=$prefix wineserver -p 2>/dev/null || true
"$here/wine-run.sh" "$prefix" cmd /c exit 0 </dev/null >/dev/null 2>&1
# Folders as Linux names them: "Z:\..." is "/...".
store_paths() { normalise "$@" | sed -e "s|$prefix/dosdevices/z:||g" -e 's|Z:/|/|g'; }
WINEPREFIX=$prefix same "store --json" store_paths store --json
if [ "$(cat "$work/lin/.rc")" != 0 ] || ! grep -q 'Sent Items.DBX' "$work/lin/.out"; then
  differs "store --json: the stores written were not found"
  head -c 600 "$work/lin/.out" "$work/lin/.err"
fi
WINEPREFIX=$prefix same "store" store_paths store
reg delete 'HKCU\Identities' /f

echo "Windows and Linux command lines compared: $runs runs, $failures differing"
[ "$failures" -eq 0 ]
