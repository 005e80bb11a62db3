"""Python threads and processes: the lock released while frames render, calls from many threads, forked children."""

import os
import threading
import time

import numpy
import pytest

import ostrel_solvane
from conftest import run_python


def test_calls_from_many_threads_give_each_its_own_frame(sample):
    values = [{"exposure": 10 + 15 * i, "center": (20.0 * i, 50.0)} for i in range(4)]
    expected = [ostrel_solvane.render(sample, **v) for v in values]
    results = {}
    failures = []

    def work(i):
        try:
            for repeat in range(3):
                results[(i, repeat)] = ostrel_solvane.render(sample, **values[i])
        except Exception as e:  # noqa: BLE001 - reported to the main thread
            failures.append(e)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    assert not failures
    assert len(results) == 12
    for (i, _), result in results.items():
        numpy.testing.assert_array_equal(result, expected[i])


def test_other_threads_run_while_a_frame_renders(sample):
    # A batch that renders for a while on one thread; the main thread notes the times it ran. With Python's lock
    # held through the render, none would fall in the middle of it.
    batch = numpy.stack([sample] * 6)
    span = {}

    def work():
        span["start"] = time.perf_counter()
        ostrel_solvane.render(batch, quality="high")
        span["end"] = time.perf_counter()

    thread = threading.Thread(target=work)
    ran = []
    thread.start()
    while thread.is_alive():
        ran.append(time.perf_counter())
        time.sleep(0.001)
    thread.join()
    length = span["end"] - span["start"]
    middle = [t for t in ran if span["start"] + 0.25 * length < t < span["end"] - 0.25 * length]
    assert len(middle) >= 5


FORKED_CHILD = """
import os, sys, numpy, ostrel_solvane
image = numpy.zeros((60, 80, 4), numpy.uint8)
image[20:40, 30:50] = 255
{before}
pid = os.fork()
if pid == 0:
    try:
        result = ostrel_solvane.render(image, exposure=40)
        os._exit(0 if result.shape == image.shape and (result != image).any() else 3)
    except RuntimeError as e:
        sys.stderr.write(str(e))
        sys.stderr.flush()
        os._exit(4)
_, status = os.waitpid(pid, 0)
code = os.waitstatus_to_exitcode(status)
# The parent still renders after its child.
ostrel_solvane.render(image)
sys.exit(code)
"""


def test_a_child_forked_before_the_first_render_renders():
    done = run_python(FORKED_CHILD.format(before=""))
    assert done.returncode == 0, done.stderr


def test_a_child_forked_after_a_render_is_told_how_to_start_workers():
    done = run_python(FORKED_CHILD.format(before="ostrel_solvane.render(image)"))
    assert done.returncode == 4, done.stderr
    assert "forked" in done.stderr and "spawn" in done.stderr


def test_a_fork_while_another_thread_renders_neither_hangs_nor_crashes():
    code = """
import os, sys, threading, numpy, ostrel_solvane
image = numpy.zeros((400, 640, 4), numpy.uint8)
image[150:250, 300:340] = 255
stop = threading.Event()
rendered = threading.Event()
def work():
    while not stop.is_set():
        ostrel_solvane.render(image, quality="high")
        rendered.set()
t = threading.Thread(target=work)
t.start()
rendered.wait()
codes = []
for i in range(5):
    pid = os.fork()
    if pid == 0:
        try:
            ostrel_solvane.render(image)
            os._exit(0)
        except RuntimeError:
            os._exit(4)
    codes.append(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
stop.set()
t.join()
print(codes)
sys.exit(0 if codes == [4] * 5 else 1)
"""
    done = run_python(code, timeout=120)
    assert done.returncode == 0, done.stdout + done.stderr


def test_a_spawned_worker_pool_renders():
    code = """
import multiprocessing, sys, numpy, ostrel_solvane
def shafts(exposure):
    image = numpy.zeros((60, 80, 4), numpy.uint8)
    image[20:40, 30:50] = 255
    return ostrel_solvane.render(image, exposure=exposure)
if __name__ == "__main__":
    ostrel_solvane.render(numpy.zeros((4, 4, 4), numpy.uint8))
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        results = pool.map(shafts, [10, 20, 30])
    same = all((r == shafts(e)).all() for r, e in zip(results, [10, 20, 30]))
    sys.exit(0 if same else 1)
"""
    done = run_python(code, timeout=120)
    assert done.returncode == 0, done.stderr
