"""Bad arrays and bad values are refused before anything renders, naming the argument; a refused frame raises."""

import numpy
import pytest

import ostrel_solvane


@pytest.mark.parametrize("array, error, words", [
    (numpy.zeros((8, 8), numpy.uint8), ValueError, "image must be an H×W×4"),
    (numpy.zeros((2, 2, 8, 8, 4), numpy.uint8), ValueError, "5 dimensions"),
    (numpy.zeros((8, 8, 2), numpy.uint8), ValueError, "not 2"),
    (numpy.zeros((0, 8, 4), numpy.uint8), ValueError, "image is empty"),
    (numpy.zeros((0, 8, 8, 4), numpy.uint8), ValueError, "image is empty"),
    (numpy.zeros((1, 32768, 4), numpy.uint8), ValueError, "image is too large"),
    (numpy.zeros((8, 8, 4), numpy.int32), TypeError, "image must be an array of uint8, uint16 or float32"),
    (numpy.zeros((8, 8, 4), numpy.float64), TypeError, "not float64"),
    (numpy.zeros((8, 8, 4), numpy.dtype(">u2")), TypeError, "image must be"),
    (numpy.zeros((8, 8, 4), bool), TypeError, "image must be"),
])
def test_bad_images(array, error, words):
    with pytest.raises(error, match=words):
        ostrel_solvane.render(array)


def test_not_an_array():
    with pytest.raises(TypeError):
        ostrel_solvane.render([[[0, 0, 0, 0]]])


@pytest.mark.parametrize("values, error, words", [
    ({"threshold": 120}, ValueError, "threshold must be from 0 to 100, not 120"),
    ({"threshold": float("nan")}, ValueError, "threshold must be from 0 to 100"),
    ({"threshold": "50"}, TypeError, "threshold must be a number, not str"),
    ({"threshold_smooth": -1}, ValueError, "threshold_smooth must be from 0 to 100"),
    ({"exposure": 100.5}, ValueError, "exposure must be from 0 to 100"),
    ({"shine_length": 2049}, ValueError, "shine_length must be from 0 to 2048"),
    ({"shine_length": 12.5}, TypeError, "shine_length must be an integer, not float"),
    ({"shine_length": 10**30}, ValueError, "shine_length"),
    ({"quality": "ultra"}, ValueError, "quality must be 'high', 'medium' or 'low', not 'ultra'"),
    ({"quality": 2}, TypeError, "quality must be"),
    ({"center": (40000, 0)}, ValueError, "center's x must be from -32767 to 32767"),
    ({"center": (0, float("inf"))}, ValueError, "center's y"),
    ({"center": "middle"}, TypeError, "center must be None or a pair"),
    ({"center": (1, 2, 3)}, TypeError, "center must be None or a pair"),
    ({"center": (1, None)}, TypeError, "center"),
])
def test_bad_values(sample, values, error, words):
    with pytest.raises(error, match=words.replace("(", r"\(").replace(")", r"\)")):
        ostrel_solvane.render(sample, **values)


def test_bad_out(sample):
    with pytest.raises(ValueError, match="out must have the image's shape"):
        ostrel_solvane.render(sample, out=numpy.zeros((8, 8, 4), numpy.uint8))
    with pytest.raises(TypeError, match="out must have the image's dtype"):
        ostrel_solvane.render(sample, out=numpy.zeros(sample.shape, numpy.uint16))
    with pytest.raises(ValueError, match="out must be C-contiguous"):
        ostrel_solvane.render(sample, out=numpy.zeros(sample.shape[:2] + (8,), numpy.uint8)[:, :, ::2])
    readonly = numpy.zeros_like(sample)
    readonly.flags.writeable = False
    with pytest.raises(ValueError, match="out is read-only"):
        ostrel_solvane.render(sample, out=readonly)
    with pytest.raises(TypeError, match="out must be a numpy array"):
        ostrel_solvane.render(sample, out=[0])


def test_a_refused_frame_raises_and_the_next_renders(sample):
    # Wider than the OpenGL drivers' largest texture (16384 on Mesa's drivers): the plug-in refuses it.
    wide = numpy.full((1, 32767, 4), 200, numpy.uint8)
    out = numpy.full_like(wide, 7)
    with pytest.raises(ostrel_solvane.RenderError) as refused:
        ostrel_solvane.render(wide, out=out)
    error = refused.value
    assert isinstance(error, RuntimeError)
    assert "32767x1" in str(error) and error.cause in str(error)
    assert error.code != 0 and str(error.code) in error.cause
    # Nothing is written into out for a frame that did not render.
    assert (out == 7).all()
    # A batch names the frame.
    with pytest.raises(ostrel_solvane.RenderError, match="frame 0 of the batch"):
        ostrel_solvane.render(wide[numpy.newaxis])
    assert ostrel_solvane.render(sample).shape == sample.shape
