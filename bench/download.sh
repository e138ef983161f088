#!/bin/sh
# The download row: povupdate update fetching, checking and installing an
# installer of SIZE_MB from nginx on 127.0.0.1, against curl -o of the same
# file followed by sha256sum; the median of RUNS runs of each, and the
# largest resident size of povupdate for that file and for one a tenth its
# size (it streams: memory stays flat). Prints Markdown for results.md.
# Usage: bench/download.sh POVUPDATE [SIZE_MB] [RUNS]
set -eu
povupdate=$1 size_mb=${2:-200} runs=${3:-5}
work=$(mktemp -d)
nginx_pid=""
cleanup() {
  [ -z "$nginx_pid" ] || kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/www" "$work/nginx" "$work/host" "$work/downloads"
cat >"$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1;
pid $work/nginx/nginx.pid; error_log $work/nginx/error.log;
events { worker_connections 64; }
http { access_log off; default_type application/octet-stream; sendfile on;
  server { listen 127.0.0.1:$port; root $work/www; } }
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
until curl -s -o /dev/null "http://127.0.0.1:$port/"; do sleep 0.1; done

# An installer that exits at once: a script, then bytes its shell never reads.
make_installer() {
  { printf '#!/bin/sh\nexit 0\n'; head -c "$(($1 * 1024 * 1024))" /dev/urandom; } >"$work/www/$2"
}

# Seconds and kilobytes of one run of a command.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

update_once() {
  file=$1
  printf '[SOFTWARE]\r\n1=Bench\r\n[Bench]\r\nVersion=2.0\r\nDownLoadPath=http://127.0.0.1:%s/%s\r\nInstallType=exe\r\nSHA256=%s\r\nSize=%s\r\n' \
    "$port" "$file" "$(sha256sum "$work/www/$file" | cut -d' ' -f1)" "$(stat -c %s "$work/www/$file")" \
    >"$work/host/Update_6.1.ini"
  printf '[Bench]\r\nVersion=1.0\r\n' >"$work/host/PovConfig_6.1.ini"
  POVUPDATE_MODULE_DIR="$work/host" POVUPDATE_OS_VERSION=6.1 \
    POVUPDATE_REGISTRY_DIR="$work/host/registry" \
    measure "$povupdate" update --allow-unsigned --quiet --downloads "$work/downloads"
}

curl_once() {
  /usr/bin/time -f '%e %M' -o "$work/time" sh -c \
    'curl -s -o "$1/got" "$2" && sha256sum "$1/got" >/dev/null && rm "$1/got"' \
    sh "$work" "http://127.0.0.1:$port/$1"
  cat "$work/time"
}

make_installer "$size_mb" big.exe
make_installer "$((size_mb / 10))" small.exe
: >"$work/povupdate.txt"
: >"$work/curl.txt"
for _ in $(seq "$runs"); do
  update_once big.exe >>"$work/povupdate.txt"
  curl_once big.exe >>"$work/curl.txt"
done
small_kb=$(update_once small.exe | cut -d' ' -f2)
povupdate_s=$(cut -d' ' -f1 "$work/povupdate.txt" | median)
curl_s=$(cut -d' ' -f1 "$work/curl.txt" | median)
big_kb=$(cut -d' ' -f2 "$work/povupdate.txt" | median)

echo
echo "## Download"
echo
echo "povupdate update downloading a $size_mb MB installer from nginx on 127.0.0.1, checking its"
echo "SHA-256 and running it, against curl -o of the same file followed by sha256sum: the median"
echo "of $runs runs each, wall-clock time. Memory is povupdate's largest resident size."
echo
echo "| case | time | curl + sha256sum | ratio | memory, $size_mb MB | memory, $((size_mb / 10)) MB |"
echo "| --- | ---: | ---: | ---: | ---: | ---: |"
awk -v p="$povupdate_s" -v c="$curl_s" -v big="$big_kb" -v small="$small_kb" -v mb="$size_mb" \
  'BEGIN { printf "| update/%d MB | %.2f s | %.2f s | %.2f | %.1f MB | %.1f MB |\n", mb, p, c, p / c, big / 1024, small / 1024 }'
