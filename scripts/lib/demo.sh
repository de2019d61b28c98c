# Shared by scripts/demo and scripts/screenshot: the demo account, its
# mailbox, its Dovecot and the environment that points the program at it.
# Source it from the top of the source tree. TALLYHIVE_PROGRAM names an
# already built program to use instead of building build/dev/tallyhive.

DEMO_USER=demo@outlook.com
DEMO_PASSWORD=Tallyhive-Demo-1
DEMO_DIR=$PWD/build/demo
PROGRAM=${TALLYHIVE_PROGRAM:-$PWD/build/dev/tallyhive}

demo_build() {
    scripts/setup
    [ -z "${TALLYHIVE_PROGRAM:-}" ] || return 0
    cmake --preset dev >/dev/null
    cmake --build --preset dev --target tallyhive
}

# The demo mailbox is cached; it is made again when the generator changed.
demo_mailbox() {
    local mailbox=$DEMO_DIR/mailbox
    if [ ! -f "$mailbox/mailbox.info" ] || [ scripts/make-mailbox -nt "$mailbox/mailbox.info" ]; then
        scripts/make-mailbox "$mailbox" --demo >/dev/null
    fi
}

# Starts the demo Dovecot in DIR; sets DEMO_PORT and DEMO_CA.
demo_start_server() {
    local dir=$1
    scripts/dovecot start "$dir" "$DEMO_DIR/mailbox" "$DEMO_USER" "$DEMO_PASSWORD" >/dev/null
    DEMO_PORT=$(sed -n 's/^port=//p' "$dir/server.env")
    DEMO_CA=$(sed -n 's/^ca=//p' "$dir/server.env")
}

# The program's environment: the demo server, loopback only, and every file
# it writes (settings, workbooks, error log) under CONFIG_ROOT.
demo_program_env() {
    local root=$1
    mkdir -p "$root/config" "$root/export" "$root/temp"
    export TALLYHIVE_IMAP_HOST=127.0.0.1
    export TALLYHIVE_IMAP_PORT=$DEMO_PORT
    export TALLYHIVE_CA_FILE=$DEMO_CA
    export TALLYHIVE_PING_HOST=127.0.0.1
    export TALLYHIVE_HOME_PAGE=
    export TALLYHIVE_EXPORT_DIR=$root/export
    export XDG_CONFIG_HOME=$root/config
    export TEMP=$root/temp
}
