#!/usr/bin/env bash
# The page's tests in Firefox ESR: on a private X server, where Firefox has
# WebGL 2 (headless it has none here).
#   firefox_page_test.sh PROJECT_ROOT NODE TEST_FILE
set -euo pipefail
source "$1/scripts/lib.sh"
work="$(mktemp -d)"
trap 'stop_private_display; rm -rf "$work"' EXIT
start_private_display "$work" 1920x1200x24
ORRELIN_BROWSER=firefox "$2" --test --test-concurrency=1 "$3"
