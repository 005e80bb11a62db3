"""What the tests of the Python module share: the build's solvane, the sample image, and a render through solvane."""

import os
import subprocess
import tempfile

import numpy
import pytest
from PIL import Image

BINARY_DIR = os.environ.get("SOLVANE_BINARY_DIR", "")
SOURCE_DIR = os.environ.get("SOLVANE_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))


def solvane_path():
    return os.path.join(BINARY_DIR, "solvane")


@pytest.fixture(scope="session")
def sample():
    """The project's sample (640 x 400 RGBA, uint8), cut to 320 x 200 around its light so the tests stay quick."""
    image = numpy.asarray(Image.open(os.path.join(SOURCE_DIR, "examples", "sample.png")).convert("RGBA"))
    return numpy.ascontiguousarray(image[100:300, 160:480])


def solvane_render(image, **values):
    """An 8-bit RGBA image through `solvane render` with the values as its options; the result as an array."""
    args = []
    for name, value in values.items():
        if value is None or value is False:
            continue
        option = "--" + name.replace("_", "-")
        if value is True:
            args.append(option)
        elif name == "center":
            args.append("%s=%r,%r" % (option, float(value[0]), float(value[1])))
        else:
            args.append("%s=%s" % (option, value))
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "in.png")
        target = os.path.join(folder, "out.png")
        Image.fromarray(image, "RGBA" if image.shape[2] == 4 else "RGB").save(source)
        subprocess.run([solvane_path(), "--quiet", "render", source, target] + args, check=True, timeout=300)
        return numpy.asarray(Image.open(target).convert("RGBA"))


def run_python(code, timeout=120, env=None):
    """A fresh interpreter running `code` from a file of its own (so that spawned workers can import its
    functions); its completed process. A hang fails the test by the timeout."""
    import sys

    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "script.py")
        with open(script, "w") as f:
            f.write(code)
        return subprocess.run([sys.executable, script], capture_output=True, text=True, timeout=timeout,
                              env=env if env is not None else os.environ.copy())
