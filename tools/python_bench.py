#!/usr/bin/env python3
"""Frames per second through the Python module beside `solvane render` on the same frames.

    PYTHONPATH=build/python python3 tools/python_bench.py [--frames 24] [--size 1280x720] [--quality medium]

The frames are the sample image scaled to the size, each one shifted a little so that no two are the same. solvane
renders them as one numbered PNG sequence (one plug-in session, PNG reading and writing included, its frames read
and written beside the render); the module renders them one call a frame, then as one batch, from arrays in memory.
The first frame of each (the plug-in's start, the driver's shader code) is timed apart.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy
from PIL import Image

import ostrel_solvane

HERE = os.path.dirname(os.path.abspath(__file__))


def frames_of(count, width, height):
    sample = Image.open(os.path.join(HERE, "..", "examples", "sample.png")).convert("RGBA")
    base = numpy.asarray(sample.resize((width, height), Image.BILINEAR))
    return numpy.stack([numpy.roll(base, 3 * i, axis=1) for i in range(count)])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=24)
    parser.add_argument("--size", default="1280x720")
    parser.add_argument("--quality", default="medium", choices=["high", "medium", "low"])
    parser.add_argument("--solvane", default=os.path.join(HERE, "..", "build", "solvane"))
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.lower().split("x"))
    frames = frames_of(args.frames + 1, width, height)

    with tempfile.TemporaryDirectory() as folder:
        for i, frame in enumerate(frames):
            Image.fromarray(frame).save(os.path.join(folder, "in%04d.png" % i), compress_level=1)
        command = [args.solvane, "--quiet", "render", os.path.join(folder, "in%04d.png"),
                   os.path.join(folder, "out%04d.png"), "--quality", args.quality]
        started = time.perf_counter()
        subprocess.run(command + ["--frames", "0-0"], check=True)
        first_cli = time.perf_counter() - started
        started = time.perf_counter()
        subprocess.run(command + ["--frames", "0-%d" % args.frames], check=True)
        all_cli = time.perf_counter() - started
        expected = numpy.asarray(Image.open(os.path.join(folder, "out%04d.png" % args.frames)).convert("RGBA"))

    started = time.perf_counter()
    ostrel_solvane.render(frames[0], quality=args.quality)
    first_module = time.perf_counter() - started
    started = time.perf_counter()
    for frame in frames[1:]:
        last = ostrel_solvane.render(frame, quality=args.quality)
    one_by_one = time.perf_counter() - started
    started = time.perf_counter()
    ostrel_solvane.render(frames[1:], quality=args.quality)
    batch = time.perf_counter() - started
    if not numpy.array_equal(last, expected):
        sys.exit("benchmark: the module's last frame differs from solvane's")

    # solvane's sequence run pays its start once: its steady rate is the whole run less a one-frame run.
    cli_rate = args.frames / max(all_cli - first_cli, 1e-9)
    print("%d frames of %dx%d, %s quality" % (args.frames, width, height, args.quality))
    print("  solvane render (PNG sequence)  %6.2f frames/s   start and first frame %.2f s" % (cli_rate, first_cli))
    print("  ostrel_solvane.render, a call a frame  %6.2f frames/s   start and first frame %.2f s" % (
        args.frames / one_by_one, first_module))
    print("  ostrel_solvane.render, one batch       %6.2f frames/s" % (args.frames / batch))


if __name__ == "__main__":
    main()
