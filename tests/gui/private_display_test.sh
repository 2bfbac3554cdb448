#!/usr/bin/env bash
# The scripts' private X server (start_private_display in scripts/lib.sh): it
# comes up with openbox and the environment of tests/README.md, both end on
# stop_private_display, and a server that cannot start is reported.
#   private_display_test.sh PROJECT_ROOT
set -euo pipefail
source "$1/scripts/lib.sh"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
work="$(mktemp -d)"
trap 'stop_private_display; rm -rf "$work"' EXIT

export WAYLAND_DISPLAY=wayland-test
start_private_display "$work" 800x600x24
[[ "$DISPLAY" =~ ^:[0-9]+$ ]] || fail "DISPLAY is '$DISPLAY'"
[ "$XDG_RUNTIME_DIR" = "$work/runtime" ] || fail "XDG_RUNTIME_DIR is '$XDG_RUNTIME_DIR'"
[ "$(stat -c %a "$XDG_RUNTIME_DIR")" = 700 ] || fail "XDG_RUNTIME_DIR is not private"
[ "${QT_QPA_PLATFORM:-}" = xcb ] || fail "QT_QPA_PLATFORM is '${QT_QPA_PLATFORM:-}'"
[ -z "${WAYLAND_DISPLAY+set}" ] || fail "WAYLAND_DISPLAY is still set"
[[ "$(xdpyinfo)" =~ dimensions:\ +800x600\ pixels ]] || fail "the screen is not 800x600"
[[ "$(xprop -root _NET_SUPPORTING_WM_CHECK)" == *"window id"* ]] || fail "no window manager"

server="$xvfb_pid" wm="$wm_pid"
stop_private_display
if kill -0 "$server" 2>/dev/null || kill -0 "$wm" 2>/dev/null; then fail "still running after stop"; fi

if start_private_display "$work" not-a-screen 2>/dev/null; then fail "a bad screen was accepted"; fi
[ -z "$xvfb_pid" ] && [ -z "$wm_pid" ] || fail "a failed start left processes behind"
echo "private display: all checks passed"
