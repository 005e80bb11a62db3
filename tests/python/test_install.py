"""The installed package, as `cmake --install` lays it out, imports and renders in a clean environment."""

import os
import subprocess
import sys

import numpy
import pytest

import ostrel_solvane
from conftest import BINARY_DIR


def test_installed_package_imports_and_renders_from_a_clean_environment(tmp_path, sample):
    if not os.path.exists(os.path.join(BINARY_DIR, "cmake_install.cmake")):
        pytest.skip("no build folder to install from (SOLVANE_BINARY_DIR)")
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", BINARY_DIR, "--component", "python", "--prefix", str(prefix)], check=True,
                   capture_output=True, timeout=120)
    package = prefix / "lib" / "python3" / "dist-packages" / "ostrel_solvane"
    plugin = package / "OstrelSolvane.aex"
    assert plugin.is_file() and not plugin.is_symlink()
    numpy.save(tmp_path / "sample.npy", sample)
    code = ("import sys; sys.path.insert(0, sys.argv[1]); import numpy, ostrel_solvane; "
            "assert ostrel_solvane.__file__.startswith(sys.argv[1]), ostrel_solvane.__file__; "
            "image = numpy.load(sys.argv[2]); numpy.save(sys.argv[3], ostrel_solvane.render(image, exposure=30))")
    # Nothing of the build's environment: no PYTHONPATH, no SOLVANE_PLUGIN, Python's own isolated mode.
    clean = {"PATH": "/usr/bin:/bin", "SOLVANE_QUIET": "1"}
    done = subprocess.run([sys.executable, "-I", "-c", code, str(package.parent), str(tmp_path / "sample.npy"),
                           str(tmp_path / "out.npy")], env=clean, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    numpy.testing.assert_array_equal(numpy.load(tmp_path / "out.npy"), ostrel_solvane.render(sample, exposure=30))


def test_a_missing_plugin_is_an_error_that_names_it(tmp_path):
    code = ("import numpy, ostrel_solvane\n"
            "try:\n"
            "    ostrel_solvane.render(numpy.zeros((4, 4, 4), numpy.uint8))\n"
            "except RuntimeError as e:\n"
            "    print(e)\n")
    env = dict(os.environ, SOLVANE_PLUGIN=str(tmp_path / "nowhere.aex"))
    done = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert "could not be loaded" in done.stdout and "nowhere.aex" in done.stdout
