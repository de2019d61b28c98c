#!/usr/bin/env bash
# Runs a command with a desktop secret store of its own: a private session
# D-Bus and an unlocked GNOME keyring, in a throw-away home folder, so tests
# never touch the keyring of the person running them. Both end with the
# command, whose exit status this script returns.
#
#   tests/support/with_secret_store.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

if [ -z "${TALLYHIVE_SECRET_STORE_BUS:-}" ]; then
    home=$(mktemp -d /tmp/thks.XXXXXX)
    trap 'rm -rf "$home"' EXIT
    export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset DISPLAY WAYLAND_DISPLAY
    TALLYHIVE_SECRET_STORE_BUS=1 dbus-run-session -- "$0" "$@"
    exit $?
fi

# Inside the private bus. The keyring stays in the foreground under our PID,
# so it is ended by that PID once the command is done; its password only
# unlocks this throw-away keyring.
printf %s tallyhive-test-keyring | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
keyring=$!
trap 'kill "$keyring" 2>/dev/null || true; wait "$keyring" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'; then
        break
    fi
    sleep 0.05
done
unset TALLYHIVE_SECRET_STORE_BUS
status=0
"$@" || status=$?
exit "$status"
