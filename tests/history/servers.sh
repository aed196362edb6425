# Shared by the tests against real servers: a PostgreSQL server and a
# mosquitto broker of their own, in $WORK, on free ports of 127.0.0.1, run
# as an unprivileged user (nobody when the tests run as root: neither server
# runs as root), and stopped by stop_servers. The including script sets
# WORK (made with mktemp -d) and calls stop_servers from its EXIT trap.
# A script may define its own fail (what it shows on failure) before.
PG_BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}
SRV="$WORK/srv"  # the servers' own files, their user's
PG_DATA="$SRV/pg"
PG_PORT=
MQTT_PORT=
MQTT_PID=

as_server() {  # command...: as the servers' user
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"
    else
        "$@"
    fi
}

free_port() {  # a port of 127.0.0.1 nothing listens on
    while :; do
        p=$(( ($(od -An -N2 -tu2 /dev/urandom) % 20000) + 30000 ))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
            echo "$p"
            return
        fi
    done
}

make_srv() {
    [ -d "$SRV" ] && return 0
    chmod 755 "$WORK"
    mkdir "$SRV"
    if [ "$(id -u)" -eq 0 ]; then chown nobody:nogroup "$SRV"; fi
}

start_postgres() {  # a new, empty server; PG_URL names its database
    make_srv
    as_server "$PG_BIN/initdb" -D "$PG_DATA" -U zorload --auth=trust -E UTF8 --no-locale \
        >"$SRV/initdb.log" 2>&1 || { cat "$SRV/initdb.log" >&2; return 1; }
    PG_PORT=$(free_port)
    PG_URL="postgresql://zorload@127.0.0.1:$PG_PORT/postgres"
    resume_postgres
}

resume_postgres() {  # the server started again on its port, its data kept
    as_server "$PG_BIN/pg_ctl" -D "$PG_DATA" -l "$SRV/pg.log" -w -t 20 start \
        -o "-k $SRV -p $PG_PORT -c listen_addresses=127.0.0.1 -c fsync=off" \
        >/dev/null || { tail -n 20 "$SRV/pg.log" >&2; return 1; }
}

pause_postgres() {  # the server stopped: benches lose their connections
    as_server "$PG_BIN/pg_ctl" -D "$PG_DATA" -m fast -w stop >/dev/null
}

psql_value() {  # SQL: the one value it selects
    psql -X -A -t -q "$PG_URL" -c "$1"
}

start_mosquitto() {  # a broker on MQTT_PORT, run in the background
    make_srv
    [ -n "$MQTT_PORT" ] || MQTT_PORT=$(free_port)
    printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$MQTT_PORT" \
        | as_server tee "$SRV/mosquitto.conf" >/dev/null
    # Started by exec in its subshell, so that MQTT_PID is the broker's own
    # pid and stop_mosquitto ends it (a function run in the background
    # would leave its pid to the subshell).
    (
        if [ "$(id -u)" -eq 0 ]; then
            exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
                "${MOSQUITTO:-mosquitto}" -c "$SRV/mosquitto.conf"
        fi
        exec "${MOSQUITTO:-mosquitto}" -c "$SRV/mosquitto.conf"
    ) >>"$WORK/mosquitto.log" 2>&1 &
    MQTT_PID=$!
    i=0
    until (exec 3<>"/dev/tcp/127.0.0.1/$MQTT_PORT") 2>/dev/null; do
        i=$((i + 1))
        [ $i -gt 100 ] && { cat "$WORK/mosquitto.log" >&2; return 1; }
        sleep 0.05
    done
}

stop_mosquitto() {
    [ -n "$MQTT_PID" ] || return 0
    kill -TERM "$MQTT_PID" 2>/dev/null
    wait "$MQTT_PID" 2>/dev/null
    MQTT_PID=
}

stop_servers() {
    stop_mosquitto
    # A server a test stopped with SIGSTOP must run to stop.
    [ -f "$PG_DATA/postmaster.pid" ] && kill -CONT "$(head -n 1 "$PG_DATA/postmaster.pid")" 2>/dev/null
    [ -f "$PG_DATA/postmaster.pid" ] && as_server "$PG_BIN/pg_ctl" -D "$PG_DATA" -m immediate \
        -w stop >/dev/null 2>&1
    return 0
}

if ! declare -F fail >/dev/null; then
    fail() {  # the test's logs, and the end
        echo "FAIL: $*" >&2
        for f in "$WORK"/*.txt "$WORK"/mosquitto.log; do
            [ -f "$f" ] && { echo "--- $f" >&2; grep -v progress "$f" | tail -n 30 >&2; }
        done
        exit 1
    }
fi

wait_for() {  # SECONDS COMMAND...: until the command succeeds
    limit=$(($1 * 20))
    shift
    i=0
    until "$@"; do
        i=$((i + 1))
        [ $i -gt $limit ] && return 1
        sleep 0.05
    done
}

has() { grep -q -- "$1" "$2" 2>/dev/null; }  # TEXT FILE
