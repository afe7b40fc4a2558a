#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds everything and runs
# every test. CI runs exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh default
QT_QPA_PLATFORM=offscreen ctest --preset default -j "$(nproc)"
