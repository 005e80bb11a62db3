"""Frames through the module against `solvane render`, for every sample type and layout, batches and out=."""

import numpy
import pytest

import ostrel_solvane
from conftest import solvane_render

# Values that reach every stage of the effect: a threshold and smoothness, a centre off the frame's middle, a
# shorter shine, the three qualities, Ray Only.
CASES = [
    {},
    {"threshold": 35, "threshold_smooth": 20, "center": (40.5, -30), "exposure": 45, "quality": "high"},
    {"threshold": 60, "shine_length": 300, "exposure": 80, "quality": "low", "ray_only": True},
]


def as_type(image8, dtype):
    if dtype == numpy.uint8:
        return image8.copy()
    if dtype == numpy.uint16:
        return image8.astype(numpy.uint16) * 257
    return image8.astype(numpy.float32) / numpy.float32(255)


@pytest.fixture(scope="module", params=range(len(CASES)), ids=["defaults", "high-centre", "low-ray-only"])
def case(request, sample):
    values = CASES[request.param]
    return values, solvane_render(sample, **values)


@pytest.mark.parametrize("dtype", [numpy.uint8, numpy.uint16, numpy.float32], ids=["uint8", "uint16", "float32"])
@pytest.mark.parametrize("channels", [4, 3], ids=["rgba", "rgb"])
def test_frames_equal_solvane_render(sample, case, dtype, channels):
    values, expected8 = case
    image8 = numpy.ascontiguousarray(sample[:, :, :channels])
    if channels == 3:
        expected8 = solvane_render(image8, **values)
    image = as_type(image8, dtype)
    result = ostrel_solvane.render(image, **values)
    assert result.dtype == image.dtype and result.shape == image.shape
    assert result is not image
    numpy.testing.assert_array_equal(result, as_type(expected8[:, :, :channels], dtype))
    # The input is left as it was.
    numpy.testing.assert_array_equal(image, as_type(image8, dtype))


def test_float_and_16_bit_keep_their_values_where_the_shafts_add_nothing():
    # A dark frame between 8-bit levels with a patch brighter than 1 at the light: the patch stays (a screen over
    # white is white), and so does much of the frame where the shafts stay at level 0; what they reach takes the
    # rendered levels.
    values = {"threshold": 50, "exposure": 60, "center": (160.0, 100.0), "shine_length": 40}
    image = numpy.full((200, 320, 4), 0.0012345, numpy.float32)
    image[:, :, 3] = 1
    image[90:110, 150:170, :3] = 3.5
    result = ostrel_solvane.render(image, **values)
    assert (result[90:110, 150:170, :3] == numpy.float32(3.5)).all()
    kept = (result == image).all(axis=2)
    assert kept.sum() > 5000 + 400
    levels = result[~kept] * 255
    assert levels.size > 0
    numpy.testing.assert_allclose(levels, numpy.round(levels), atol=1e-4)

    deep = numpy.full((200, 320, 4), 1000, numpy.uint16)  # no 8-bit level: 1000 / 257 is not whole
    deep[:, :, 3] = 65535
    deep[90:110, 150:170, :3] = 65000
    result16 = ostrel_solvane.render(deep, **values)
    kept16 = (result16 == deep).all(axis=2)
    assert kept16.sum() > 5000 + 400
    assert (~kept16).any() and (result16[~kept16] % 257 == 0).all()


def test_batch_is_each_frame_rendered_alone(sample):
    frames = numpy.stack([sample, sample[::-1].copy(), sample[:, ::-1].copy()])
    values = {"threshold": 40, "exposure": 35}
    batch = ostrel_solvane.render(frames, **values)
    assert batch.shape == frames.shape
    for frame, result in zip(frames, batch):
        numpy.testing.assert_array_equal(result, ostrel_solvane.render(frame, **values))
    out = numpy.zeros_like(frames)
    assert ostrel_solvane.render(frames, out=out, **values) is out
    numpy.testing.assert_array_equal(out, batch)


def test_out_may_be_given_and_may_be_the_image_itself(sample):
    expected = ostrel_solvane.render(sample, exposure=50)
    out = numpy.empty_like(sample)
    assert ostrel_solvane.render(sample, exposure=50, out=out) is out
    numpy.testing.assert_array_equal(out, expected)
    image = sample.astype(numpy.float32) / 255
    expected_float = ostrel_solvane.render(image, exposure=50)
    assert ostrel_solvane.render(image, exposure=50, out=image) is image
    numpy.testing.assert_array_equal(image, expected_float)


def test_strided_views_render_as_their_copies(sample):
    crop = sample[10:150:2, 5:300:3]
    flipped = sample[:, :, [2, 1, 0, 3]]
    for view in (crop, flipped):
        assert not view.flags.c_contiguous
        numpy.testing.assert_array_equal(ostrel_solvane.render(view), ostrel_solvane.render(view.copy()))


def test_one_calls_values_do_not_carry_into_the_next(sample):
    first = ostrel_solvane.render(sample)
    ostrel_solvane.render(sample, center=(5, 5), exposure=90, ray_only=True, quality="low", shine_length=10)
    numpy.testing.assert_array_equal(ostrel_solvane.render(sample), first)


def test_parameters_are_the_plugins_and_their_defaults_are_renders_defaults(sample):
    shown = ostrel_solvane.parameters()
    assert [p["argument"] for p in shown] == ["threshold", "threshold_smooth", "center", "shine_length", "exposure",
                                              "quality", "ray_only"]
    assert [p["name"] for p in shown][:2] == ["Threshold", "Threshold Smooth"]
    assert next(p for p in shown if p["argument"] == "shine_length")["hidden"]
    explicit = {}
    for p in shown:
        if p["kind"] == "point":
            x, y = p["default"]
            explicit["center"] = (x / 100 * sample.shape[1], y / 100 * sample.shape[0])
        else:
            explicit[p["argument"]] = p["default"]
    numpy.testing.assert_array_equal(ostrel_solvane.render(sample, **explicit), ostrel_solvane.render(sample))
    assert ostrel_solvane.version.count(".") == 2
