# Sourced by the tests that sign in with Kerberos. Defines have_kdc, start_kdc and stop_kdc.
# start_kdc WORK: makes the realm ZARN.TEST under WORK/kdc with the user "zarn" (password "secret") and the service
# HTTP/localhost, whose key goes to WORK/kdc/proxy.keytab (readable by any user, as squid's helper runs as its own),
# starts its KDC in the foreground of a job on a free loopback port, exports KRB5_CONFIG naming the realm, and gets
# zarn's ticket into WORK/kdc/ccache (set as kdc_ccache). Sets kdc_pid. Exits with the tools' complaints when the
# realm cannot be made.
kdc_tools=(/usr/sbin/krb5kdc /usr/sbin/kdb5_util /usr/sbin/kadmin.local /usr/bin/kinit)
kdc_pid=

have_kdc() {
    local tool
    for tool in "${kdc_tools[@]}"; do
        if [ ! -x "$tool" ]; then return 1; fi
    done
}

start_kdc() {
    local work=$1 dir=$1/kdc port
    mkdir -p "$dir"
    chmod 755 "$dir"
    port=$((20000 + RANDOM % 20000))
    cat > "$dir/krb5.conf" <<EOF
[libdefaults]
    default_realm = ZARN.TEST
    dns_lookup_realm = false
    dns_lookup_kdc = false
    rdns = false
    dns_canonicalize_hostname = false
[realms]
    ZARN.TEST = {
        kdc = 127.0.0.1:$port
    }
[domain_realm]
    localhost = ZARN.TEST
EOF
    cat > "$dir/kdc.conf" <<EOF
[realms]
    ZARN.TEST = {
        database_name = $dir/principal
        key_stash_file = $dir/stash
        acl_file = $dir/kadm5.acl
        kdc_ports = $port
        kdc_tcp_ports = $port
    }
[logging]
    kdc = FILE:$dir/kdc.log
EOF
    export KRB5_CONFIG="$dir/krb5.conf" KRB5_KDC_PROFILE="$dir/kdc.conf"
    kdc_ccache="FILE:$dir/ccache"
    if ! { /usr/sbin/kdb5_util create -s -r ZARN.TEST -P master-secret &&
        /usr/sbin/kadmin.local -r ZARN.TEST -q "addprinc -pw secret zarn" &&
        /usr/sbin/kadmin.local -r ZARN.TEST -q "addprinc -randkey HTTP/localhost" &&
        /usr/sbin/kadmin.local -r ZARN.TEST -q "ktadd -k $dir/proxy.keytab HTTP/localhost"; } > "$dir/setup.log" 2>&1
    then
        echo "the Kerberos realm could not be made:" >&2
        cat "$dir/setup.log" >&2
        exit 1
    fi
    chmod 644 "$dir/proxy.keytab"
    /usr/sbin/krb5kdc -n -r ZARN.TEST > "$dir/kdc.out" 2>&1 &
    kdc_pid=$!
    for _ in $(seq 100); do
        if echo secret | KRB5CCNAME=$kdc_ccache /usr/bin/kinit zarn@ZARN.TEST > "$dir/kinit.log" 2>&1; then return 0; fi
        if ! kill -0 "$kdc_pid" 2>/dev/null; then break; fi
        sleep 0.05
    done
    echo "the KDC did not give a ticket:" >&2
    cat "$dir/kdc.out" "$dir/kinit.log" >&2
    exit 1
}

stop_kdc() {
    if [ -n "$kdc_pid" ]; then kill "$kdc_pid" 2>/dev/null || true; wait "$kdc_pid" 2>/dev/null || true; fi
    kdc_pid=
}
