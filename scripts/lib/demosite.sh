# Sourced by scripts that need the bundled demo site.

# start_demo_site VELMORA_SITE OUTPUT_FILE
# Starts the site on a free loopback port and waits for it to say which; sets site_pid and
# port, and exports VELMORA_MAIN_HOST and VELMORA_PICTURE_HOST so the program uses it.
start_demo_site() {
  "$1" --port 0 >"$2" &
  site_pid=$!
  port=""
  for _ in $(seq 100); do
    port=$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$2")
    [[ -n $port ]] && break
    kill -0 "$site_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -z $port ]]; then
    echo "The demo site did not start." >&2
    return 1
  fi
  export VELMORA_MAIN_HOST="127.0.0.1:$port" VELMORA_PICTURE_HOST="127.0.0.1:$port"
}
