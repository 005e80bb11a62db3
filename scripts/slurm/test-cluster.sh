#!/usr/bin/env bash
# Renders sequences on a real Slurm cluster of one node on this machine, through
# scripts/slurm/submit.sh, and checks the results against single-process renders:
#   1. an array job of 3 tasks over a keyframed 64x48 sequence of 12 frames, with the
#      final job that joins the frames into a video: every frame equal to one
#      `solvane render` of the whole sequence, byte for byte, and the video 12 frames;
#   2. a larger sequence whose second task is cancelled midway, then resubmitted with
#      --resume (--skip-existing): every frame there and equal to the single render,
#      and the frames finished before the cancel not written again (same inode and
#      modification time).
# Needs root (munged, slurmctld and slurmd are started here, as root and munge) and
# installs Debian's slurm-wlm and munge when they are missing. Everything the cluster
# uses lies in one temporary folder: configuration, key, sockets, state, logs, pid
# files; the daemons listen on 127.0.0.1 only, on free ports. Every daemon is stopped
# by its process id when the script ends, however it ends, and the whole run is
# bounded by SOLVANE_SLURM_TEST_TIMEOUT seconds (default 900). Exit status 0 when
# every check passes. SOLVANE_SLURM_TEST_KEEP=1 keeps the temporary folder.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)

if [ -z "${SOLVANE_SLURM_TEST_BOUNDED:-}" ]; then
  export SOLVANE_SLURM_TEST_BOUNDED=1
  # TERM at the limit runs the clean-up below; KILL only if that hangs.
  exec timeout --kill-after=60 "${SOLVANE_SLURM_TEST_TIMEOUT:-900}" "$0" "$@"
fi

say() { printf '[%(%H:%M:%S)T] %s\n' -1 "$*"; }
fail() {
  say "FAIL: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || fail "run as root: the cluster's daemons run as root and munge"

missing=()
for p in slurm-wlm munge ffmpeg; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update
  # No init system here: the packages' own services are not started (policy-rc.d may deny them anyway).
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
solvane="$repo/build/solvane"
[ -x "$solvane" ] || fail "$solvane: build first (scripts/build.sh)"

tmp=$(mktemp -d -t solvane-slurm.XXXXXX)
chmod 0755 "$tmp" # munged, as munge, reaches its own folder inside
pids=()
started=$(date +%s)

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  set +e
  if [ -f "$tmp/slurm.conf" ] && [ ${#pids[@]} -gt 1 ]; then
    # Jobs first, while the daemons that run them are still there.
    timeout 10 scancel --quiet --user=root >/dev/null 2>&1
    for _ in $(seq 1 100); do
      [ -z "$(timeout 5 squeue -h -o %i 2>/dev/null)" ] && break
      sleep 0.2
    done
  fi
  # The daemons, newest first, each by its own process id: TERM, then KILL after 10 s.
  local i pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill -TERM "$pid" 2>/dev/null || continue
    for _ in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.2
    done
    kill -KILL "$pid" 2>/dev/null && say "daemon $pid did not stop on TERM: killed"
    wait "$pid" 2>/dev/null
  done
  if [ "$status" -ne 0 ]; then
    for log in "$tmp"/munge/munged.out "$tmp"/log/*.log "$tmp"/renders/*/*/solvane-*.log; do
      [ -f "$log" ] || continue
      echo "---- $log (last lines)" >&2
      tail -n 20 "$log" >&2
    done
  fi
  if [ -n "${SOLVANE_SLURM_TEST_KEEP:-}" ]; then
    say "kept $tmp"
  else
    rm -rf "$tmp"
  fi
  say "took $(($(date +%s) - started)) s; exit status $status"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# A free TCP port on 127.0.0.1 (nothing listening there now).
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 20000))
    ss -Htln "sport = :$port" | grep -q . || { echo "$port"; return; }
  done
}

# ---- munge: its own key, socket, pid, log and seed in the temporary folder ----------
# Clients reach the socket through this folder: it must be searchable by all.
install -d -o munge -g munge -m 0755 "$tmp/munge"
head -c 1024 /dev/urandom >"$tmp/munge/munge.key"
chown munge:munge "$tmp/munge/munge.key"
chmod 0400 "$tmp/munge/munge.key"
socket="$tmp/munge/munge.socket"
setpriv --reuid=munge --regid=munge --clear-groups \
  munged --foreground --socket="$socket" --key-file="$tmp/munge/munge.key" \
  --pid-file="$tmp/munge/munged.pid" --log-file="$tmp/munge/munged.log" --seed-file="$tmp/munge/munged.seed" \
  --num-threads=2 >"$tmp/munge/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do
  [ -S "$socket" ] && break
  sleep 0.1
done
[ -S "$socket" ] || fail "munged did not open its socket: $(tail -n 3 "$tmp/munge/munged.out")"
say "munged $! on $socket"

# ---- Slurm: one node of 2 CPUs on 127.0.0.1 --------------------------------------
node=$(hostname -s)
mkdir -p "$tmp/state" "$tmp/spool" "$tmp/log" "$tmp/run" "$tmp/renders"
cat >"$tmp/slurm.conf" <<EOF
ClusterName=solvanetest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/run/slurmctld.pid
SlurmdPidFile=$tmp/run/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
MpiDefault=none
SwitchType=switch/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
ReturnToService=2
KillWait=5
MinJobAge=600
SlurmdTimeout=60
InactiveLimit=0
NodeName=$node NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=solvane Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$tmp/slurm.conf"
slurmctld -D -f "$SLURM_CONF" >"$tmp/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$tmp/log/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 1 150); do
  state=$(timeout 5 sinfo -h -n "$node" -o %t 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.2
done
[ "$state" = idle ] || fail "the node is not idle after 30 s (sinfo: '$state')"
say "slurmctld ${pids[1]}, slurmd ${pids[2]}: node $node idle"

# Waits until none of the given jobs is pending or running (at most $2 seconds).
wait_jobs() {
  local job=$1 limit=$2 deadline=$(($(date +%s) + $2))
  while [ -n "$(timeout 5 squeue -h -j "$job" -o %i 2>/dev/null)" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "job $job still queued or running after $limit s"
    sleep 0.3
  done
}
# The states of a job's tasks, one a line ("COMPLETED", "CANCELLED", ...).
job_states() { timeout 10 scontrol -o show job "$1" | grep -o 'JobState=[A-Z_]*' | cut -d= -f2; }

# Compares every frame of a sequence with the single-process render: same bytes.
same_frames() {
  local got=$1 want=$2 first=$3 last=$4 n name
  for ((n = first; n <= last; n++)); do
    name=$(printf 'out_%04d.png' "$n")
    [ -f "$got/$name" ] || fail "frame $n is missing: $got/$name"
    cmp -s "$got/$name" "$want/$name" || fail "frame $n differs from the single-process render"
  done
}

keys=(--center '1:0,0' '12:64,48' --exposure 1:20 6:80 12:30 --threshold 1:25 12:60)

# ---- 1. an array job of 3 tasks, and the final job that makes the video ------------
work="$tmp/renders/small"
mkdir -p "$work/in" "$work/ref" "$work/farm"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=64x48:rate=24 -frames:v 12 -start_number 1 \
  "$work/in/in_%04d.png"
"$solvane" render "$work/in/in_%04d.png" "$work/ref/out_%04d.png" --frames 1-12 "${keys[@]}" --quiet \
  >"$work/ref.log" 2>&1 || fail "the single-process render failed: $(cat "$work/ref.log")"
mapfile -t ids < <("$repo/scripts/slurm/submit.sh" --solvane "$solvane" --chunks 3 --video "$work/clip.mp4" -- \
  "$work/in/in_%04d.png" "$work/farm/out_%04d.png" --frames 1-12 "${keys[@]}")
[ ${#ids[@]} -eq 2 ] || fail "submit.sh printed '${ids[*]}', not two job ids"
say "array job ${ids[0]} (3 tasks), final job ${ids[1]}"
wait_jobs "${ids[0]},${ids[1]}" 180
states=$(job_states "${ids[0]}" | sort | uniq -c | tr -s ' ')
[ "$states" = " 3 COMPLETED" ] || fail "array tasks: $states"
[ "$(job_states "${ids[1]}")" = COMPLETED ] || fail "final job: $(job_states "${ids[1]}")"
same_frames "$work/farm" "$work/ref" 1 12
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 \
  "$work/clip.mp4")
[ "$frames" = 12 ] || fail "the video has $frames frames, not 12"
for k in 1 2 3; do
  grep -q "chunk $k of 3" "$work/farm/solvane-render-${ids[0]}_$k.log" || fail "no log of task $k"
done
say "1. 12 frames from 3 tasks equal the single-process render; the video has 12 frames"

# ---- 2. a task cancelled midway, resumed with --skip-existing ------------------------
# Frames big enough (and High quality) that a task of 10 takes several seconds.
work="$tmp/renders/cancel"
mkdir -p "$work/in" "$work/ref" "$work/farm"
size=${SOLVANE_SLURM_TEST_SIZE:-960x540}
big=(--center '1:0,0' '30:960,540' --exposure 1:20 15:80 30:30 --quality high)
ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=$size:rate=24" -frames:v 30 -start_number 1 \
  "$work/in/in_%04d.png"
array=$("$repo/scripts/slurm/submit.sh" --solvane "$solvane" --chunks 3 -- "$work/in/in_%04d.png" "$work/farm/out_%04d.png" \
  --frames 1-30 "${big[@]}")
say "array job $array (3 tasks of 10 frames)"
# Task 2 renders frames 11-20: cancel it once its first frame is there.
deadline=$(($(date +%s) + 180))
until [ -f "$work/farm/out_0011.png" ]; do
  [ "$(date +%s)" -lt "$deadline" ] || fail "task 2 wrote no frame in 180 s"
  sleep 0.05
done
scancel "${array}_2"
say "cancelled task 2 after its first frame"
wait_jobs "$array" 180
job_states "$array" | grep -qx CANCELLED || fail "task 2 was not cancelled: $(job_states "$array" | tr '\n' ' ')"
done_before=()
for ((n = 11; n <= 20; n++)); do
  [ -f "$work/farm/$(printf 'out_%04d.png' "$n")" ] && done_before+=("$n")
done
[ ${#done_before[@]} -lt 10 ] || fail "task 2 finished all its frames before the cancel reached it: use bigger frames"
leftovers=$(find "$work/farm" -name '*.tmp-*' | wc -l)
say "task 2 left ${#done_before[@]} of its 10 frames and $leftovers temporary files"
(cd "$work/farm" && stat -c '%n %i %Y.%y' out_*.png) >"$work/before.txt"

# The single-process reference, rendered while nothing else runs.
"$solvane" render "$work/in/in_%04d.png" "$work/ref/out_%04d.png" --frames 1-30 "${big[@]}" --quiet \
  >"$work/ref.log" 2>&1 || fail "the single-process render failed: $(cat "$work/ref.log")"

resumed=$("$repo/scripts/slurm/submit.sh" --solvane "$solvane" --chunks 3 --resume -- "$work/in/in_%04d.png" "$work/farm/out_%04d.png" \
  --frames 1-30 "${big[@]}")
say "resumed as array job $resumed"
wait_jobs "$resumed" 300
states=$(job_states "$resumed" | sort | uniq -c | tr -s ' ')
[ "$states" = " 3 COMPLETED" ] || fail "resumed tasks: $states"
same_frames "$work/farm" "$work/ref" 1 30
# The frames that were there before are the same files, untouched.
mapfile -t before_frames < <(cut -d' ' -f1 "$work/before.txt")
(cd "$work/farm" && stat -c '%n %i %Y.%y' "${before_frames[@]}") >"$work/after.txt"
cmp -s "$work/before.txt" "$work/after.txt" || fail "finished frames were written again: $(diff "$work/before.txt" "$work/after.txt")"
for k in 1 3; do
  grep -q "10 of the frames are already there; rendering 0" "$work/farm/solvane-render-${resumed}_$k.log" ||
    fail "resumed task $k did not skip its 10 finished frames"
done
grep -q "${#done_before[@]} of the frames are already there; rendering $((10 - ${#done_before[@]}))" \
  "$work/farm/solvane-render-${resumed}_2.log" || fail "resumed task 2 did not render only its missing frames"
say "2. after the cancel and --resume: 30 frames equal the single-process render; the $((20 + ${#done_before[@]})) finished frames untouched"
say "PASS"
