#!/usr/bin/env bash
# Runs a command on a screen of its own under a real window manager, which
# places and maximises windows as a desktop does. Both end with the command.
set -euo pipefail
home=$(mktemp -d /tmp/thwm.XXXXXX)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$home/display" >/dev/null 2>&1 &
pids=$!
trap 'kill $pids 2>/dev/null || true; wait $pids 2>/dev/null || true; rm -rf "$home"' EXIT
for _ in $(seq 1 100); do [ -s "$home/display" ] && break; sleep 0.05; done
export DISPLAY=:$(cat "$home/display") QT_QPA_PLATFORM=xcb HOME=$home XDG_CONFIG_HOME=$home
matchbox-window-manager -use_titlebar yes >/dev/null 2>&1 &
pids="$! $pids"
for _ in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.05; done
status=0
"$@" || status=$?
exit "$status"
