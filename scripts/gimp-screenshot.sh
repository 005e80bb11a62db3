#!/usr/bin/env bash
# Takes the picture of the GIMP plug-in's dialog, with its preview, for docs/gimp.md:
# GIMP 2.10 on a virtual X display (xvfb-run) opens examples/sample.png and runs
# plug-in-ostrel-solvane interactively; ImageMagick's `import` takes the dialog's window.
#
#   scripts/gimp-screenshot.sh [OUT.png]     (default docs/images/gimp-dialog.png)
#
# Uses the plug-in of the build folder (build/, or $SOLVANE_BUILD). Needs gimp, xvfb and
# imagemagick (scripts/setup.sh installs them). The dialog opens with the last values, so a
# non-interactive run on a copy of the image first sets the centre of the README's example.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/images/gimp-dialog.png}
build=${SOLVANE_BUILD:-build}
[ -x "$build/ostrel-solvane" ] || { echo "no $build/ostrel-solvane: build first (scripts/build.sh)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/solvane-shot.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/plug-ins/ostrel-solvane"
ln -s "$(cd "$build" && pwd)/ostrel-solvane" "$work/plug-ins/ostrel-solvane/ostrel-solvane"

# The dialog stays open until the run's time is up; the picture is taken before that.
cat > "$work/shoot.sh" <<SHOT
#!/usr/bin/env bash
SOLVANE_GIMP_TIMEOUT=60 SOLVANE_QUIET=1 scripts/gimp-batch.sh --gui "$work/plug-ins" \
  '(let* ((image (car (file-png-load RUN-NONINTERACTIVE "examples/sample.png" "sample.png")))
          (drawable (car (gimp-image-get-active-drawable image)))
          (copy (car (gimp-image-duplicate image))))
     (plug-in-ostrel-solvane RUN-NONINTERACTIVE copy (car (gimp-image-get-active-drawable copy))
                             50 0 420 150 2048 10 2 0)
     (plug-in-ostrel-solvane RUN-INTERACTIVE image drawable 50 0 420 150 2048 10 2 0))' > "$work/gimp.log" 2>&1 &
gimp=\$!
for _ in \$(seq 1 50); do
  sleep 1
  window=\$(xdotool search --name "^Light Shafts \\(Ostrel Solvane\\)" 2>/dev/null | head -1 || true)
  if [ -n "\$window" ]; then
    sleep 5 # the preview's first render
    import -window "\$window" "$work/shot.png"
    break
  fi
done
kill "\$gimp" 2>/dev/null || true
wait || true
SHOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1280x1024x24" "$work/shoot.sh"
[ -s "$work/shot.png" ] || { cat "$work/gimp.log" >&2; echo "the dialog did not appear" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
cp "$work/shot.png" "$out"
echo "$out"
