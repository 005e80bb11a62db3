#!/usr/bin/env bash
# Kdenlive itself with the effect: opens a project whose clip carries Light Shafts, selects the clip, types 65.63 into
# the effect's Center X field, saves the project with Ctrl+S and reads the saved file. Center X must be stored as
# 0.6563: a field that takes whole per cent only would store 0.65 or 0.66, 19-pixel steps across a 1920-pixel frame.
# Kdenlive runs in a temporary home, on a virtual display of its own (1600x1000, the window placed at its top left),
# with the module and its description from an installation made by `cmake --install` (FREI0R_PATH and
# XDG_DATA_DIRS). The clicks are at the places Kdenlive 22.12's default layout puts the clip and the effect stack's
# tab; the field is found on a screenshot. Exits 77 (skipped) where Kdenlive, Xvfb, xdotool, dbus-run-session or
# ImageMagick is missing. On failure the project, Kdenlive's output and a screenshot are left in
# BUILD/kdenlive-centre-test.
#   scripts/kdenlive-centre-test.sh BUILD      (ctest runs it as KdenliveCentreTest)
# KDENLIVE_CENTRE_TEST_KEEP=DIR keeps the failure's files there instead. KDENLIVE_EFFECT_XML=FILE uses another effect description in place of the installed one (e.g. one without the
# centre's decimals, to see the check fail).
# Driving a program through its window can miss (a click that lands while the window is still being laid out): a run
# that could not reach the field or save the project is made once more; a value that was stored wrong fails at once.
set -euo pipefail
if [ -z "${KDENLIVE_CENTRE_TEST_ATTEMPT:-}" ]; then
  status=0
  KDENLIVE_CENTRE_TEST_ATTEMPT=1 "$0" "$@" || status=$?
  if [ "$status" -eq 3 ]; then
    echo "kdenlive-centre-test: Kdenlive could not be driven to the field; once more"
    status=0
    KDENLIVE_CENTRE_TEST_ATTEMPT=2 "$0" "$@" || status=$?
  fi
  [ "$status" -eq 3 ] && status=1
  exit "$status"
fi
build=$(realpath "${1:-build}")
cd "$(dirname "$0")/.."
for program in kdenlive Xvfb xdotool dbus-run-session import convert; do
  command -v "$program" >/dev/null || { echo "kdenlive-centre-test: $program is missing: skipped"; exit 77; }
done

work=$(mktemp -d)
kept=${KDENLIVE_CENTRE_TEST_KEEP:-$build/kdenlive-centre-test}
xvfb_pid="" kdenlive_pid=""
stop() {
  local pid=$1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
  kill "$pid" 2>/dev/null || true
  for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.3; done
  kill -KILL "$pid" 2>/dev/null || true
}
cleanup() {
  stop "$(cat "$work/kdenlive.pid" 2>/dev/null || true)"
  stop "$kdenlive_pid"
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
# fail MESSAGE: the value is wrong (exit 1). not_driven MESSAGE: Kdenlive was not driven to the point (exit 3).
fail() { failure 1 "$@"; }
not_driven() { failure 3 "$@"; }
failure() {
  local status=$1
  shift
  echo "kdenlive-centre-test: $*"
  rm -rf "$kept" && mkdir -p "$kept"
  import -display "$DISPLAY" -window root "$kept/screen.png" 2>/dev/null || true
  cp "$work/light-shafts.kdenlive" "$work/kdenlive.log" "$kept/" 2>/dev/null || true
  echo "kdenlive-centre-test: the project, Kdenlive's output and a screenshot are in $kept"
  exit "$status"
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
[ -f "$work/prefix/lib/frei0r-1/ostrel_solvane.so" ] || { echo "kdenlive-centre-test: no lib/frei0r-1/ostrel_solvane.so installed"; exit 1; }
if [ -n "${KDENLIVE_EFFECT_XML:-}" ]; then
  cp "$KDENLIVE_EFFECT_XML" "$work/prefix/share/kdenlive/effects/frei0r_ostrel_solvane.xml"
fi
cp examples/sample.png "$work/sample.png"

# A display of this run's own: Xvfb on the first free number from one taken from the process id (Xvfb ends at once
# where the number is taken).
display=$((400 + $$ % 20000))
for _ in $(seq 10); do
  Xvfb ":$display" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    kill -0 "$xvfb_pid" 2>/dev/null || break
    DISPLAY=":$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.2
  done
  sleep 0.5
  kill -0 "$xvfb_pid" 2>/dev/null && break
  xvfb_pid="" display=$((display + 1))
done
[ -n "$xvfb_pid" ] || { echo "kdenlive-centre-test: Xvfb did not start"; exit 1; }
export DISPLAY=":$display"

# The project as Kdenlive 22.12 saves one: the clip in the bin and on the first video track (5 s of the still), with
# the effect at its defaults but the exposure.
project="$work/light-shafts.kdenlive"
sed "s#SAMPLE#$work/sample.png#" >"$project" <<'XML'
<?xml version='1.0' encoding='utf-8'?>
<mlt LC_NUMERIC="C" producer="main_bin" version="7.12.0">
 <profile frame_rate_num="25" sample_aspect_num="1" display_aspect_den="5" colorspace="709" progressive="1" description="640x400 25fps" display_aspect_num="8" frame_rate_den="1" width="640" height="400" sample_aspect_den="1"/>
 <producer id="producer0" in="00:00:00.000" out="00:00:04.960">
  <property name="length">125</property>
  <property name="eof">pause</property>
  <property name="resource">SAMPLE</property>
  <property name="ttl">25</property>
  <property name="aspect_ratio">1</property>
  <property name="meta.media.progressive">1</property>
  <property name="seekable">1</property>
  <property name="kdenlive:duration">00:00:05:00</property>
  <property name="kdenlive:clipname"/>
  <property name="kdenlive:id">2</property>
  <property name="kdenlive:folderid">-1</property>
  <property name="kdenlive:clip_type">0</property>
 </producer>
 <playlist id="main_bin">
  <property name="kdenlive:docproperties.version">1.04</property>
  <property name="kdenlive:docproperties.profile">640x400 25fps</property>
  <property name="xml_retain">1</property>
  <entry producer="producer0" in="00:00:00.000" out="00:00:04.960"/>
 </playlist>
 <producer id="black_track" in="00:00:00.000" out="00:00:04.960">
  <property name="length">2147483647</property>
  <property name="eof">continue</property>
  <property name="resource">black</property>
  <property name="aspect_ratio">1</property>
  <property name="mlt_service">color</property>
  <property name="kdenlive:playlistid">black_track</property>
  <property name="mlt_image_format">rgba</property>
  <property name="set.test_audio">0</property>
 </producer>
 <producer id="producer1" in="00:00:00.000" out="00:00:04.960">
  <property name="length">125</property>
  <property name="eof">pause</property>
  <property name="resource">SAMPLE</property>
  <property name="ttl">25</property>
  <property name="aspect_ratio">1</property>
  <property name="seekable">1</property>
  <property name="kdenlive:id">2</property>
  <property name="kdenlive:clip_type">0</property>
 </producer>
 <playlist id="playlist0">
  <property name="kdenlive:audio_track">0</property>
  <entry producer="producer1" in="00:00:00.000" out="00:00:04.960">
   <property name="kdenlive:id">2</property>
   <filter id="filter0">
    <property name="mlt_service">frei0r.ostrel_solvane</property>
    <property name="kdenlive_id">frei0r.ostrel_solvane</property>
    <property name="Threshold">0.5</property>
    <property name="Threshold Smooth">0</property>
    <property name="Center X">0.5</property>
    <property name="Center Y">0.5</property>
    <property name="Shine Length">1</property>
    <property name="Exposure">0.3</property>
    <property name="Quality">0.5</property>
    <property name="Ray Only">0</property>
    <property name="kdenlive:collapsed">0</property>
   </filter>
  </entry>
 </playlist>
 <playlist id="playlist1"/>
 <tractor id="tractor0" in="00:00:00.000" out="00:00:04.960">
  <property name="kdenlive:trackheight">67</property>
  <property name="kdenlive:timeline_active">1</property>
  <track hide="audio" producer="playlist0"/>
  <track hide="audio" producer="playlist1"/>
 </tractor>
 <tractor id="tractor1" global_feed="1" in="00:00:00.000" out="00:00:04.960">
  <track producer="black_track"/>
  <track producer="tractor0"/>
  <transition id="transition0">
   <property name="a_track">0</property>
   <property name="b_track">1</property>
   <property name="compositing">0</property>
   <property name="distort">0</property>
   <property name="rotate_center">0</property>
   <property name="mlt_service">qtblend</property>
   <property name="kdenlive_id">qtblend</property>
   <property name="internal_added">237</property>
   <property name="always_active">1</property>
  </transition>
 </tractor>
</mlt>
XML

export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config"
export XDG_DATA_HOME="$work/home/.local/share" XDG_DATA_DIRS="$work/prefix/share:/usr/local/share:/usr/share"
export FREI0R_PATH="$work/prefix/lib/frei0r-1" QT_QPA_PLATFORM=xcb
# A temporary folder of its own too: Kdenlive keeps a lock file there while it starts, and one left by another
# Kdenlive starting (or killed while starting) makes it ask whether to reset its configuration.
export TMPDIR="$work/tmp"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
# The shell records its own process id and becomes Kdenlive, so that Kdenlive itself can be ended (it outlives the
# bus's session when that is ended).
# shellcheck disable=SC2016 # the inner shell expands them
dbus-run-session -- sh -c 'echo $$ >"$0/kdenlive.pid"; exec kdenlive "$1"' "$work" "$project" >"$work/kdenlive.log" 2>&1 &
kdenlive_pid=$!

# Kdenlive's main window, titled with the project's name, once the project is loaded.
window=""
for _ in $(seq 90); do
  window=$(xdotool search --name '^light-shafts' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  kill -0 "$kdenlive_pid" 2>/dev/null || not_driven "Kdenlive ended before showing the project"
  sleep 0.5
done
[ -n "$window" ] || not_driven "Kdenlive did not show the project within 45 s"
xdotool windowmove "$window" 0 0 windowsize "$window" 1600 1000
sleep 4
before=$(stat -c %Y "$project")
# The clip on track V1, then the effect stack's tab, then the Center X field's value (a double click edits it).
xdotool mousemove 198 570 click 1
sleep 2
xdotool mousemove 1362 952 click 1
sleep 2
# The effect's rows of values (Threshold, Threshold Smooth, Center X, ...) are found on a column of the screen as the
# bands between their dark top and bottom edges: their height depends on how Kdenlive laid the window out.
field=""
for _ in $(seq 20); do
  import -display "$DISPLAY" -window root "$work/screen.png"
  field=$(convert "$work/screen.png" -crop 1x500+1240+400 -depth 8 txt:- | awk -F'[,: ]+' '
    /#191B1D/ { y = $2 + 400; if (top == "") top = y; else if (y - top >= 15 && y - top <= 30) { rows[++n] = int((top + y) / 2); top = "" } else top = y }
    END { if (n >= 6) print rows[3] }')
  [ -n "$field" ] && break
  sleep 0.5
done
[ -n "$field" ] || not_driven "the effect's values are not shown"
xdotool mousemove 1555 "$field" click --repeat 2 --delay 120 1
sleep 1
xdotool key ctrl+a
xdotool type --delay 80 '65.63'
xdotool key Return
sleep 1
xdotool mousemove 700 800 key ctrl+s
saved=""
for _ in $(seq 30); do
  if [ "$(stat -c %Y "$project")" != "$before" ] || ! grep -q '<property name="Center X">0.5</property>' "$project"; then
    saved=1 && sleep 1 && break
  fi
  sleep 0.5
done
[ -n "$saved" ] || not_driven "Kdenlive did not save the project (Ctrl+S) within 15 s"

stored=$(sed -n 's#.*<property name="Center X">\(.*\)</property>.*#\1#p' "$project")
echo "kdenlive-centre-test: typed 65.63 %, Kdenlive stored Center X = $stored"
case "$stored" in
  *=0.6563 | 0.6563) echo "kdenlive-centre-test: passed" ;;
  *=0.65 | 0.65 | *=0.66 | 0.66) fail "the centre was rounded to whole per cent" ;;
  *) not_driven "Center X is not what was typed (the field may not have been reached)" ;;
esac
