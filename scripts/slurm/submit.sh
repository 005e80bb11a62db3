#!/usr/bin/env bash
# Submits a numbered PNG sequence to a Slurm cluster: an array job of CHUNKS tasks,
# each rendering its chunk of the frames with solvane (render-array.sbatch), and, with
# --video, a final job held until every task has succeeded that joins the frames into
# a video with ffmpeg (assemble.sbatch). Prints the array job's id (and the final
# job's) on standard output.
#
#   scripts/slurm/submit.sh [--chunks N] [--solvane PATH] [--resume] [--video FILE --fps RATE]
#                           [--sbatch ARG]... -- IN OUT --frames FIRST-LAST [render options]
#
# IN, OUT and the program must lie on storage that every node sees. --resume adds
# --skip-existing to the render: every task renders only the frames of its chunk that
# are not there yet (after a cancelled, failed or pre-empted run). --sbatch passes an
# argument to both sbatch calls (a partition, an account, a time limit, ...). The program
# is the installed solvane (on PATH) when there is one, else the build's (build/solvane).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

usage() {
  sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

chunks=8
solvane=$(command -v solvane || echo "$here/../../build/solvane")
resume=0
video=""
fps=24
sbatch_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --chunks) chunks=${2:?--chunks needs a number}; shift 2 ;;
    --solvane) solvane=${2:?--solvane needs a path}; shift 2 ;;
    --resume) resume=1; shift ;;
    --video) video=${2:?--video needs a file name}; shift 2 ;;
    --fps) fps=${2:?--fps needs a rate}; shift 2 ;;
    --sbatch) sbatch_args+=("${2:?--sbatch needs an argument}"); shift 2 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -ge 2 ] || usage
case $chunks in '' | *[!0-9]* | 0*) echo "submit.sh: --chunks: expected a whole number from 1, got '$chunks'" >&2; exit 2 ;; esac

in=$1
out=$2
shift 2
render=("$@")
range=""
for ((i = 0; i < ${#render[@]}; i++)); do
  case ${render[i]} in
    --frames) range=${render[i + 1]:-} ;;
    --frames=*) range=${render[i]#--frames=} ;;
    --fps) fps=${render[i + 1]:-$fps} ;;
    --fps=*) fps=${render[i]#--fps=} ;;
  esac
done
if [ -z "$range" ]; then
  echo "submit.sh: the render needs --frames FIRST-LAST" >&2
  exit 2
fi
# The frame rate of the video is the render's own time base, so keyframes and video agree.
has_fps=0
for arg in "${render[@]}"; do case $arg in --fps | --fps=*) has_fps=1 ;; esac; done
[ "$has_fps" = 1 ] || render+=(--fps "$fps")
[ "$resume" = 0 ] || render+=(--skip-existing)

absolute() { case $1 in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$PWD" "$1" ;; esac; }
solvane=$(absolute "$solvane")
in=$(absolute "$in")
out=$(absolute "$out")
if [ ! -x "$solvane" ]; then
  echo "submit.sh: $solvane: no solvane program there (build it, or name it with --solvane)" >&2
  exit 2
fi
mkdir -p "$(dirname "$out")"

array=$(sbatch --parsable "${sbatch_args[@]}" --array="1-$chunks" --chdir="$(dirname "$out")" \
  "$here/render-array.sbatch" "$chunks" "$solvane" "$in" "$out" "${render[@]}")
array=${array%%;*}
echo "$array"
if [ -n "$video" ]; then
  video=$(absolute "$video")
  assemble=$(sbatch --parsable "${sbatch_args[@]}" --dependency="afterok:$array" --kill-on-invalid-dep=yes \
    --chdir="$(dirname "$out")" "$here/assemble.sbatch" "$out" "$range" "$fps" "$video")
  echo "${assemble%%;*}"
fi
