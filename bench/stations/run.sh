#!/bin/sh
# The station view at 50 stations, each publishing a full read tick every 250 ms, for SECONDS
# (default 900): starts a broker on a free port, the view offscreen, and the load; prints one line
# every 30 s: seconds, the view's processor use in % of one core, its resident memory in KiB, and
# the messages sent so far. Usage: bench/stations/run.sh BUILD_DIR [SECONDS]
set -eu
build=$1
seconds=${2:-900}
dir=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'user root\npersistence false\nlistener %s 127.0.0.1\nallow_anonymous true\nmax_queued_messages 100000\n' "$port" > "$dir/mosquitto.conf"
mosquitto -c "$dir/mosquitto.conf" > "$dir/broker.log" 2>&1 &
broker=$!
sleep 1
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$dir "$build/bin/brellis" --stations "mqtt://127.0.0.1:$port" --mqtt-topic load > "$dir/view.log" 2>&1 &
view=$!
sleep 2
echo "t_s cpu_%_of_a_core rss_KiB messages_sent"
"$build/bin/station_load" "$port" 50 250 "$seconds" "$view" "${SAMPLE:-30}" || true
kill "$view" "$broker"
wait 2>/dev/null || true
rm -rf "$dir"
