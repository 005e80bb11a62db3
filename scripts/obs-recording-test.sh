#!/usr/bin/env bash
# OBS Studio itself with the filter: records a few seconds of a scene collection whose picture carries the filter,
# in a temporary home, on a virtual display, and checks the decoded recording against `solvane render` of the same
# picture and values. A recording timer in the collection stops the recording; then OBS's own process (never its
# group, which holds the muxer still writing the file) is asked to end. The module comes from an installation made
# by `cmake --install`, laid out in the user's plug-in folder as docs/obs.md describes.
#   scripts/obs-recording-test.sh BUILD      (ctest runs it as ObsRecordingTest)
set -euo pipefail
build=$(realpath "${1:-build}")
cd "$(dirname "$0")/.."
solvane="$build/solvane"
for program in obs xvfb-run ffmpeg; do
  command -v "$program" >/dev/null || { echo "obs-recording-test: $program is missing (scripts/setup.sh)"; exit 1; }
done

work=$(mktemp -d)
obs_pid=""
cleanup() {
  if [ -n "$obs_pid" ] && kill -0 "$obs_pid" 2>/dev/null; then
    kill -KILL "$obs_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

export HOME="$work/home"
config="$HOME/.config/obs-studio"
mkdir -p "$config/plugins/ostrel-solvane/bin/64bit" "$config/basic/profiles/Test" "$config/basic/scenes" "$work/rec"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(find "$work/prefix/lib" -path '*/obs-plugins/ostrel-solvane.so')
[ -n "$installed" ] || { echo "obs-recording-test: the installation has no obs-plugins/ostrel-solvane.so"; exit 1; }
cp "$installed" "$(dirname "$installed")/OstrelSolvane.aex" "$config/plugins/ostrel-solvane/bin/64bit/"
cp -r "$work/prefix/share/obs/obs-plugins/ostrel-solvane" "$config/plugins/ostrel-solvane/data"

picture="$work/picture.png"
cp examples/sample.png "$picture"
IFS=x read -r width height < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x \
  "$picture")
# The effect's values, in the filter's units and in solvane's.
threshold=35 exposure=40 cx=65 cy=30
"$solvane" render "$picture" "$work/expected.png" --quiet --threshold "$threshold" --exposure "$exposure" \
  --center "$((width * cx / 100)),$((height * cy / 100))"

cat > "$config/global.ini" <<INI
[General]
FirstRun=false
EnableAutoUpdates=false
[Basic]
Profile=Test
ProfileDir=Test
SceneCollection=Test
SceneCollectionFile=Test
INI
cat > "$config/basic/profiles/Test/basic.ini" <<INI
[General]
Name=Test
[Video]
BaseCX=$width
BaseCY=$height
OutputCX=$width
OutputCY=$height
FPSType=0
FPSCommon=10
ScaleType=bicubic
ColorFormat=I444
ColorSpace=709
ColorRange=Full
[Output]
Mode=Simple
[SimpleOutput]
FilePath=$work/rec
RecQuality=Lossless
RecEncoder=x264
RecRB=false
[Audio]
SampleRate=48000
ChannelSetup=Mono
INI
cat > "$config/basic/scenes/Test.json" <<JSON
{
  "name": "Test",
  "current_scene": "Scene",
  "current_program_scene": "Scene",
  "scene_order": [{"name": "Scene"}],
  "sources": [
    {"id": "image_source", "versioned_id": "image_source", "name": "Picture",
     "settings": {"file": "$picture"},
     "filters": [
       {"id": "ostrel_solvane_light_shafts", "versioned_id": "ostrel_solvane_light_shafts", "name": "Light Shafts",
        "settings": {"threshold": $threshold, "exposure": $exposure, "center_x": $cx, "center_y": $cy}}]},
    {"id": "scene", "versioned_id": "scene", "name": "Scene",
     "settings": {"id_counter": 1, "items": [
       {"name": "Picture", "id": 1, "visible": true, "locked": false, "pos": {"x": 0, "y": 0},
        "scale": {"x": 1, "y": 1}, "rot": 0, "align": 5, "bounds_type": 0}]}}
  ],
  "modules": {"output-timer": {"recordTimerHours": 0, "recordTimerMinutes": 0, "recordTimerSeconds": 3,
                               "autoStartRecordTimer": true}}
}
JSON

# OBS runs as a child of a shell on the virtual display, which writes OBS's own process id down.
# shellcheck disable=SC2016 # the inner shell expands its own arguments
scripts/with-display.sh bash -c 'obs --multi --disable-shutdown-check --startrecording --minimize-to-tray \
  --collection Test --profile Test --scene Scene >"$1/obs.out" 2>&1 & echo $! >"$1/obs.pid"; wait $!' _ "$work" &
runner=$!
for _ in $(seq 1 100); do [ -s "$work/obs.pid" ] && break; sleep 0.2; done
obs_pid=$(cat "$work/obs.pid")

stopped=0
for _ in $(seq 1 180); do
  if grep -qs "==== Recording Stop" "$config"/logs/*.txt; then stopped=1; break; fi
  kill -0 "$obs_pid" 2>/dev/null || break
  sleep 0.5
done
if [ "$stopped" = 1 ]; then
  # The muxer finishes the file after the stop line: give it a moment before OBS goes.
  sleep 2
  kill -TERM "$obs_pid" 2>/dev/null || true
fi
for _ in $(seq 1 60); do kill -0 "$obs_pid" 2>/dev/null || break; sleep 0.5; done
wait "$runner" 2>/dev/null || true

log=$(find "$config/logs" -name '*.txt' 2>/dev/null | head -1 || true)
fail() {
  echo "obs-recording-test: $*"
  [ -n "$log" ] && grep -iE "ostrel|error|warning|record" "$log" | tail -40
  tail -20 "$work/obs.out" 2>/dev/null || true
  exit 1
}
[ "$stopped" = 1 ] || fail "OBS did not stop its recording"
grep -q "ostrel-solvane" "$log" || fail "OBS did not load the module"
if grep -q "\[ostrel-solvane\]" "$log"; then fail "the filter reported a failure"; fi
recording=$(find "$work/rec" -type f | head -1)
[ -n "$recording" ] || fail "no recording"

# A frame from the middle of the recording, against the expected frame and against the picture itself.
ffmpeg -v error -y -ss 1.5 -i "$recording" -frames:v 1 -pix_fmt rgb24 "$work/frame.png" || fail "recording unreadable"
psnr() {
  ffmpeg -v info -i "$1" -i "$2" -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR .* average:\([0-9.inf]*\).*/\1/p' | tail -1
}
to_expected=$(psnr "$work/frame.png" "$work/expected.png")
to_picture=$(psnr "$work/frame.png" "$picture")
echo "obs-recording-test: PSNR against solvane render ${to_expected} dB, against the unfiltered picture ${to_picture} dB"
# Lossless 4:4:4 in full range: the recording is the canvas to within the colour conversion's rounding.
awk -v e="$to_expected" -v p="$to_picture" 'BEGIN { exit !((e == "inf" || e >= 40) && p != "inf" && p < 30) }' ||
  fail "the recording does not show the effect as solvane renders it"
echo "obs-recording-test: passed"
