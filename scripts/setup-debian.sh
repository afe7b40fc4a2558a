#!/usr/bin/env bash
# Installs what building and testing Quillmend needs on Debian 12, when it is
# missing. Run as root (or with sudo available); does nothing when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config git mold
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev libgmime-3.0-dev nettle-dev
  libunwind8 libdw1
  xvfb xauth fonts-dejavu-core x11-utils xdotool x11-apps netpbm
  clang libclang-rt-14-dev
  gcovr
  mtools e2fsprogs
  g++-mingw-w64-x86-64-posix wine wine64
  dpkg-dev desktop-file-utils appstream man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null; then
  SUDO=(sudo)
else
  echo "These packages are missing and I am not root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
