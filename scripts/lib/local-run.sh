# The shell side of local runs (the main job, the benchmark and the tests):
# every process started here is registered by its PID and ended when the
# script exits, however it exits.
#
#   track PID [SIGNAL]         registers a process; the cleanup sends SIGNAL (TERM)
#   stop_pid PID               sends its SIGNAL (nginx: QUIT, which finishes the
#                              recordings), SIGKILL after 5 s; unregisters it
#   start_xvfb WORK_DIR        Xvfb on a display it picks itself (-displayfd); sets
#                              DISPLAY. Screen: $TORVANE_XVFB_SCREEN
#   rtmp_conf DIR PORT [APP]   nginx configuration of an RTMP server on 127.0.0.1:PORT
#                              accepting application APP (app), recording into DIR/rec
#   tls_conf DIR PORT BACKEND CERT KEY   nginx terminating TLS on PORT for BACKEND
#   start_rtmp_server DIR PORT             sets rtmp_pid
#   start_tls_front DIR PORT BACKEND CERT KEY   sets tls_pid
#   stop_server PID            stop_pid: nginx's QUIT finishes the recordings
#   make_authority DIR HOST    a throwaway CA (DIR/ca.crt) and a certificate it signed
#                              for HOST and 127.0.0.1 (DIR/server.crt, DIR/server.key)
#   run_trusting CA HOST CMD...  runs CMD trusting only CA, with HOST at 127.0.0.1
#   check_no_secrets FILE... -- SECRET...   false, saying where, when a secret appears

tracked=() # "PID SIGNAL"

track() {
	tracked+=("$1 ${2:-TERM}")
}

stop_pid() {
	local pid=$1 signal=TERM keep=() entry i
	[ -n "$pid" ] || return 0
	for entry in "${tracked[@]}"; do
		if [ "${entry% *}" = "$pid" ]; then
			signal=${entry#* }
		else
			keep+=("$entry")
		fi
	done
	tracked=("${keep[@]}")
	kill -CONT "$pid" 2>/dev/null
	kill -"$signal" "$pid" 2>/dev/null
	for i in $(seq 100); do
		kill -0 "$pid" 2>/dev/null || break
		sleep 0.05
	done
	kill -KILL "$pid" 2>/dev/null
	wait "$pid" 2>/dev/null
	return 0
}

cleanup_tracked() {
	local i
	for ((i = ${#tracked[@]} - 1; i >= 0; i--)); do
		stop_pid "${tracked[i]% *}"
	done
}
trap cleanup_tracked EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_xvfb() {
	local work=$1 number i pid
	: >"$work/xvfb.display"
	Xvfb -displayfd 3 -screen 0 "${TORVANE_XVFB_SCREEN:-1920x1080x24}" -nolisten tcp \
		3>"$work/xvfb.display" >"$work/xvfb.log" 2>&1 &
	pid=$!
	track $pid
	for i in $(seq 200); do
		if read -r number <"$work/xvfb.display" && [ -n "$number" ]; then
			export DISPLAY=:$number
			return 0
		fi
		kill -0 $pid 2>/dev/null || break
		sleep 0.05
	done
	stop_pid $pid
	return 1
}

nginx_head() { # DIR MODULE
	printf 'load_module /usr/lib/nginx/modules/%s;\ndaemon off;\nmaster_process off;\npid %s/nginx.pid;\n' "$2" "$1"
	printf 'error_log %s/error.log info;\nevents { worker_connections 64; }\n' "$1"
}

rtmp_conf() {
	local dir=$1 port=$2 app=${3:-app}
	mkdir -p "$dir/rec"
	{
		nginx_head "$dir" ngx_rtmp_module.so
		printf 'rtmp {\n  server {\n    listen 127.0.0.1:%s;\n    chunk_size 4096;\n' "$port"
		printf '    application %s { live on; record all; record_unique on; record_path %s/rec; }\n  }\n}\n' \
			"$app" "$dir"
	} >"$dir/nginx.conf"
}

tls_conf() {
	local dir=$1 port=$2 backend=$3 cert=$4 key=$5
	mkdir -p "$dir"
	{
		nginx_head "$dir" ngx_stream_module.so
		printf 'stream {\n  server {\n    listen 127.0.0.1:%s ssl;\n' "$port"
		printf '    ssl_certificate %s;\n    ssl_certificate_key %s;\n' "$cert" "$key"
		printf '    proxy_pass 127.0.0.1:%s;\n  }\n}\n' "$backend"
	} >"$dir/nginx.conf"
}

wait_port() {
	local port=$1 i
	for i in $(seq 100); do
		(exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && return 0
		sleep 0.05
	done
	return 1
}

start_nginx() { # DIR PORT PID_VARIABLE
	nginx -p "$1" -c "$1/nginx.conf" -e "$1/error.log" >"$1/nginx.out" 2>&1 &
	track $! QUIT
	printf -v "$3" %s $!
	wait_port "$2"
}

start_rtmp_server() { rtmp_conf "$1" "$2" && start_nginx "$1" "$2" rtmp_pid; }
start_tls_front() { tls_conf "$@" && start_nginx "$1" "$2" tls_pid; }
stop_server() { stop_pid "$1"; }

make_authority() {
	local dir=$1 host=$2
	mkdir -p "$dir"
	printf 'subjectAltName=DNS:%s,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n%s\n%s\n' "$host" \
		keyUsage=critical,digitalSignature,keyEncipherment extendedKeyUsage=serverAuth >"$dir/server.ext"
	openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ca.key" -out "$dir/ca.crt" -days 2 \
		-subj "/CN=Torvane test authority" -addext basicConstraints=critical,CA:TRUE \
		-addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null &&
		openssl req -newkey rsa:2048 -nodes -keyout "$dir/server.key" -out "$dir/server.csr" \
			-subj "/CN=$host" 2>/dev/null &&
		openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial \
			-out "$dir/server.crt" -days 2 -extfile "$dir/server.ext" 2>/dev/null
}

# The trust folder and hosts file are bound over /etc/ssl/certs and /etc/hosts
# in a private mount namespace: nothing outside CMD sees them.
run_trusting() {
	local ca=$1 host=$2 private
	shift 2
	private=$(mktemp -d)
	mkdir -p "$private/certs"
	cp "$ca" "$private/certs/torvane-test-ca.pem"
	printf '127.0.0.1 localhost\n127.0.0.1 %s\n' "$host" >"$private/hosts"
	unshare -m bash -c 'mount --bind "$1/certs" /etc/ssl/certs && mount --bind "$1/hosts" /etc/hosts || exit 4
		shift
		exec "$@"' bash "$private" "$@"
	local status=$?
	rm -rf "$private"
	return $status
}

check_no_secrets() {
	local files=() file secret status=0
	while [ $# -gt 0 ] && [ "$1" != -- ]; do
		files+=("$1")
		shift
	done
	shift
	for file in "${files[@]}"; do
		[ -f "$file" ] || { echo "no $file to look for secrets in" && status=1 && continue; }
		for secret in "$@"; do
			if [ -n "$secret" ] && grep -qaF -- "$secret" "$file"; then
				echo "the secret '$secret' appears in $file"
				status=1
			fi
		done
	done
	return $status
}
