# Sourced by the tests that send the launcher through squid. Defines start_squid and stop_squid.
# start_squid WORK [basic|digest|negotiate KEYTAB]: starts squid in the foreground of a job under WORK/squid on a free
# loopback port (set as squid_port), for requests from loopback only, caching nothing; with basic or digest it signs
# users in with squid's own helpers against the one user "zarn" with the password "secret"; with negotiate it takes
# Kerberos tickets for HTTP/localhost, whose key is in KEYTAB (the realm's from KRB5_CONFIG). Every answer goes to
# WORK/squid/access.log in squid's native format (the fourth field is "RESULT/status"). Sets squid_pid. Exits with
# squid's own complaints when it cannot start.
squid=$(command -v squid || echo /usr/sbin/squid)
squid_helpers=/usr/lib/squid
squid_pid=

start_squid() {
    local work=$1 auth=${2:-} keytab=${3:-}
    mkdir -p "$work/squid"
    # Readiness is read from a fresh cache log.
    rm -f "$work/squid/cache.log"
    # squid started by root works as its own user, which must write its logs here.
    chmod 777 "$work/squid"
    local auth_lines="http_access allow localhost"
    case "$auth" in
    basic)
        printf 'zarn:%s\n' "$(openssl passwd -1 secret)" > "$work/squid/passwd"
        auth_lines="auth_param basic program $squid_helpers/basic_ncsa_auth $work/squid/passwd
auth_param basic realm zarn-test
acl signed_in proxy_auth REQUIRED
http_access allow localhost signed_in"
        ;;
    digest)
        printf 'zarn:secret\n' > "$work/squid/passwd"
        auth_lines="auth_param digest program $squid_helpers/digest_file_auth $work/squid/passwd
auth_param digest realm zarn-test
acl signed_in proxy_auth REQUIRED
http_access allow localhost signed_in"
        ;;
    negotiate)
        auth_lines="auth_param negotiate program $squid_helpers/negotiate_kerberos_auth -k $keytab -s GSS_C_NO_NAME
acl signed_in proxy_auth REQUIRED
http_access allow localhost signed_in"
        ;;
    esac
    chmod 644 "$work/squid/passwd" 2>/dev/null || true
    for _ in $(seq 10); do
        squid_port=$((20000 + RANDOM % 20000))
        cat > "$work/squid/squid.conf" <<CONF
http_port 127.0.0.1:$squid_port
visible_hostname zarn-test-proxy
pid_filename $work/squid/squid.pid
access_log stdio:$work/squid/access.log squid
cache_log $work/squid/cache.log
cache_store_log none
coredump_dir $work/squid
netdb_filename none
cache deny all
shutdown_lifetime 0 seconds
$auth_lines
http_access deny all
CONF
        "$squid" -N -f "$work/squid/squid.conf" > "$work/squid/start.log" 2>&1 &
        squid_pid=$!
        for _ in $(seq 200); do
            if ! kill -0 "$squid_pid" 2>/dev/null; then break; fi
            if grep -q "Accepting HTTP Socket" "$work/squid/cache.log" 2>/dev/null; then return 0; fi
            sleep 0.05
        done
        kill "$squid_pid" 2>/dev/null || true
        wait "$squid_pid" 2>/dev/null || true
        squid_pid=
    done
    echo "squid did not start:" >&2
    cat "$work/squid/start.log" "$work/squid/cache.log" >&2 2>/dev/null || true
    exit 1
}

stop_squid() {
    if [ -n "$squid_pid" ]; then kill "$squid_pid" 2>/dev/null || true; wait "$squid_pid" 2>/dev/null || true; fi
    squid_pid=
}
