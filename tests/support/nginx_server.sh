# Sourced by the benchmarks and tests that serve a vendor folder with nginx. Defines start_nginx and stop_nginx.
# start_nginx WORK: starts nginx in the foreground of a job under WORK/nginx on a free pair of loopback ports,
# http_port and http_port + 1 (set as http_port and https_port), with the server blocks that the caller's function
# nginx_servers prints (it reads $http_port and $https_port); the access log, when a block asks for one, takes the
# format "bytes" (the request line, the status and the bytes sent). Sets nginx_pid. Exits with nginx's own
# complaints when it cannot start.
nginx=$(command -v nginx || echo /usr/sbin/nginx)
nginx_pid=

start_nginx() {
    local work=$1
    mkdir -p "$work/nginx/logs"
    local user_line=""
    if [ "$(id -u)" -eq 0 ]; then user_line="user root;"; fi
    for _ in $(seq 10); do
        http_port=$((20000 + RANDOM % 20000))
        https_port=$((http_port + 1))
        cat > "$work/nginx/nginx.conf" <<CONF
$user_line
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 64; }
http {
    access_log off;
    log_format bytes '\$request \$status \$bytes_sent';
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    default_type application/octet-stream;
$(nginx_servers)
}
CONF
        "$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" \
            2> "$work/nginx/start.log" &
        nginx_pid=$!
        for _ in $(seq 100); do
            if ! kill -0 "$nginx_pid" 2>/dev/null; then break; fi
            if curl -s -o /dev/null "http://127.0.0.1:$http_port/"; then return 0; fi
            sleep 0.05
        done
        wait "$nginx_pid" 2>/dev/null || true
        nginx_pid=
    done
    echo "nginx did not start:" >&2
    cat "$work/nginx/start.log" "$work/nginx/logs/error.log" >&2 2>/dev/null || true
    exit 1
}

stop_nginx() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    nginx_pid=
}
