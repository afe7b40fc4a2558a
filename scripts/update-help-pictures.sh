#!/usr/bin/env bash
# Copies the user guide's pictures from the GUI tests' screens into
# res/assets/help/, where they are committed and installed with the guide.
# Run the tests first (scripts/test.sh, or ctest -R '^(app|search_ui|bugreport)_tests$|LostMailInX').
set -euo pipefail
cd "$(dirname "$0")/.."
shots=${1:-build/screenshots}
mkdir -p res/assets/help
# guide's name <- screen the tests wrote
for pair in main_window.png:help/main_window.png search_dialog.png:search_setting_dialog.png \
            report_window.png:bugreport_window.png carved_image.png:help/carved_image.png \
            carve_progress.png:help/carve_progress.png moved_email.png:help/moved_email.png \
            disk_picker.png:help/disk_picker.png; do
    cp "$shots/${pair#*:}" "res/assets/help/${pair%%:*}"
    echo "res/assets/help/${pair%%:*}"
done
