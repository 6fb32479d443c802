# Local RTMP servers for scripts: one nginx process per server, in the
# foreground and single-process, so the PID it returns is the whole server.
#   start_rtmp_server DIR PORT       records into DIR/rec; sets rtmp_pid
#   start_tls_front DIR PORT BACKEND_PORT CERT KEY   sets tls_pid
#   stop_server PID                  graceful (recordings are finished)
#   stop_servers                     every PID in server_pids, then the Xvfb of
#                                    xvfb.sh if one runs (for an EXIT trap)
#   wait_port PORT

server_pids=()

wait_port() {
	local port=$1 i
	for i in $(seq 100); do
		(exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && return 0
		sleep 0.05
	done
	return 1
}

start_rtmp_server() {
	local dir=$1 port=$2
	mkdir -p "$dir/rec"
	cat >"$dir/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;
daemon off;
master_process off;
pid $dir/nginx.pid;
error_log $dir/error.log info;
events { worker_connections 64; }
rtmp {
    server {
        listen 127.0.0.1:$port;
        chunk_size 4096;
        application app { live on; record all; record_unique on; record_path $dir/rec; }
    }
}
CONF
	nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" >"$dir/nginx.out" 2>&1 &
	rtmp_pid=$!
	wait_port "$port"
}

start_tls_front() {
	local dir=$1 port=$2 backend=$3 cert=$4 key=$5
	mkdir -p "$dir"
	cat >"$dir/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_stream_module.so;
daemon off;
master_process off;
pid $dir/nginx.pid;
error_log $dir/error.log info;
events { worker_connections 64; }
stream {
    server {
        listen 127.0.0.1:$port ssl;
        ssl_certificate $cert;
        ssl_certificate_key $key;
        proxy_pass 127.0.0.1:$backend;
    }
}
CONF
	nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" >"$dir/nginx.out" 2>&1 &
	tls_pid=$!
	wait_port "$port"
}

stop_server() {
	local pid=$1 i
	[ -n "$pid" ] || return 0
	kill -QUIT "$pid" 2>/dev/null
	for i in $(seq 100); do
		kill -0 "$pid" 2>/dev/null || break
		sleep 0.05
	done
	kill -KILL "$pid" 2>/dev/null
	wait "$pid" 2>/dev/null
	return 0
}

stop_servers() {
	local pid
	for pid in "${server_pids[@]}"; do
		stop_server "$pid"
	done
	server_pids=()
	declare -F stop_xvfb >/dev/null && stop_xvfb
	return 0
}
