#!/bin/sh
# Runs the test program given (disk images and moved e-mails in the main
# window) in a virtual X server, on Qt's X platform rather than offscreen.
# Usage: carved_mail_xvfb.sh <carved_mail_tests> [gtest options]
# Exit 77: xvfb-run missing (skipped).
set -u
exe=${1:?usage}
shift
. "$(dirname "$0")/../support/xvfb.sh"
xvfb_need xvfb-run
xvfb_enter 1280x1024x24 "$exe" "$@"
QT_QPA_PLATFORM=xcb exec "$exe" "$@"
