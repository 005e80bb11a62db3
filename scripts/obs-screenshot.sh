#!/usr/bin/env bash
# Takes the screenshot of the OBS filter for the documentation (docs/images/obs-filter.png; needs ImageMagick and
# x11-utils): OBS Studio on a virtual
# display, in a temporary home, with the sample picture and the filter, its Filters dialog (the filter's properties
# beside a preview) opened through OBS's own websocket server. Run after building:
#   scripts/obs-screenshot.sh [BUILD [OUT.png]]
set -euo pipefail
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-docs/images/obs-filter.png}")
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
config="$HOME/.config/obs-studio"
mkdir -p "$config/plugins/ostrel-solvane/bin/64bit" "$config/basic/profiles/Shot" "$config/basic/scenes"
cp "$build/ostrel-solvane.so" "$build/OstrelSolvane.aex" "$config/plugins/ostrel-solvane/bin/64bit/"
cp -r obs/data "$config/plugins/ostrel-solvane/data"
cp examples/sample.png "$work/picture.png"
port=$((20000 + $$ % 20000))
cat > "$config/global.ini" <<INI
[General]
FirstRun=false
EnableAutoUpdates=false
[Basic]
Profile=Shot
ProfileDir=Shot
SceneCollection=Shot
SceneCollectionFile=Shot
[OBSWebSocket]
FirstLoad=false
ServerEnabled=true
ServerPort=$port
AuthRequired=false
AlertsEnabled=false
INI
printf '[General]\nName=Shot\n[Video]\nBaseCX=640\nBaseCY=400\nOutputCX=640\nOutputCY=400\nFPSType=0\nFPSCommon=10\n' \
  > "$config/basic/profiles/Shot/basic.ini"
cat > "$config/basic/scenes/Shot.json" <<JSON
{"name": "Shot", "current_scene": "Scene", "current_program_scene": "Scene", "scene_order": [{"name": "Scene"}],
 "sources": [
  {"id": "image_source", "versioned_id": "image_source", "name": "Picture", "settings": {"file": "$work/picture.png"},
   "filters": [{"id": "ostrel_solvane_light_shafts", "versioned_id": "ostrel_solvane_light_shafts",
                "name": "Light Shafts", "settings": {"threshold": 35, "exposure": 40, "center_x": 65, "center_y": 30}}]},
  {"id": "scene", "versioned_id": "scene", "name": "Scene", "settings": {"id_counter": 1, "items": [
    {"name": "Picture", "id": 1, "visible": true, "pos": {"x": 0, "y": 0}, "scale": {"x": 1, "y": 1}, "align": 5,
     "bounds_type": 0}]}}]}
JSON
cat > "$work/open-filters.py" <<'PY'
# A websocket client of the fewest steps (RFC 6455, text frames, masked): obs-websocket 5's Hello, Identify, and
# one request that opens the Filters dialog of the source "Picture".
import base64, json, os, socket, struct, sys
sock = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
key = base64.b64encode(os.urandom(16)).decode()
sock.sendall(("GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n"
              "Sec-WebSocket-Protocol: obswebsocket.json\r\n\r\n" % key).encode())
reply = b""
while b"\r\n\r\n" not in reply:
    reply += sock.recv(4096)
rest = reply.split(b"\r\n\r\n", 1)[1]
def receive():
    global rest
    while len(rest) < 2:
        rest += sock.recv(4096)
    length = rest[1] & 127
    start = 2
    if length == 126:
        length, start = struct.unpack(">H", rest[2:4])[0], 4
    elif length == 127:
        length, start = struct.unpack(">Q", rest[2:10])[0], 10
    while len(rest) < start + length:
        rest += sock.recv(4096)
    body, rest = rest[start:start + length], rest[start + length:]
    return json.loads(body)
def send(message):
    data = json.dumps(message).encode()
    mask = os.urandom(4)
    header = bytes([0x81]) + (bytes([0x80 | len(data)]) if len(data) < 126 else bytes([0x80 | 126]) + struct.pack(">H", len(data)))
    sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))
receive()
send({"op": 1, "d": {"rpcVersion": 1}})
receive()
send({"op": 6, "d": {"requestType": "OpenInputFiltersDialog", "requestId": "1", "requestData": {"inputName": "Picture"}}})
answer = receive()
sys.exit(0 if answer["d"]["requestStatus"]["result"] else 1)
PY
# shellcheck disable=SC2016 # the inner shell expands its own arguments
scripts/with-display.sh bash -c '
  obs --multi --disable-shutdown-check --collection Shot --profile Shot --scene Scene >"$1/obs.out" 2>&1 &
  obs_pid=$!
  for _ in $(seq 1 120); do grep -qs "Startup complete" "$HOME"/.config/obs-studio/logs/*.txt && break; sleep 0.5; done
  sleep 3
  python3 "$1/open-filters.py" "$2" || echo "obs-screenshot: the Filters dialog did not open"
  sleep 6
  import -window root "$1/screen.png"
  xwininfo -root -tree > "$1/windows.txt"
  kill -TERM "$obs_pid"
  wait "$obs_pid" || true' _ "$work" "$port"
# The dialog's part of the screen (it may reach past the screen's bottom edge, which cuts it there).
geometry=$(grep -m1 "Filters for" "$work/windows.txt" | grep -oE '[0-9]+x[0-9]+\+[0-9]+\+[0-9]+' | head -1 || true)
[ -n "$geometry" ] || { echo "obs-screenshot: no Filters dialog on the screen"; exit 1; }
mkdir -p "$(dirname "$out")"
convert "$work/screen.png" -crop "$geometry" +repage "$out"
echo "obs-screenshot: wrote $out ($geometry)"
