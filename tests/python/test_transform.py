"""LightShafts: values drawn from ranges, repeatable by seed, rendered as render() renders them."""

import numpy
import pytest

import ostrel_solvane
from ostrel_solvane import LightShafts


def test_a_seed_repeats_the_draws_and_the_call_renders_them(sample):
    make = lambda: LightShafts(exposure=(10, 60), threshold=(30, 70), center="inside", quality=["high", "low"],
                               seed=11)
    first, second = make(), make()
    drawn = [first.parameters_for(320, 200) for _ in range(5)]
    assert drawn == [second.parameters_for(320, 200) for _ in range(5)]
    assert len({d["exposure"] for d in drawn}) == 5
    for d in drawn:
        assert 10 <= d["exposure"] <= 60 and 30 <= d["threshold"] <= 70
        assert d["quality"] in ("high", "low")
    # The call draws the next values and renders them.
    third = make()
    values = make().parameters_for(sample.shape[1], sample.shape[0])
    numpy.testing.assert_array_equal(third(sample), ostrel_solvane.render(sample, **values))


def test_centres_drawn_inside_and_outside_the_frame():
    inside = LightShafts(center="inside", seed=1)
    outside = LightShafts(center="outside", outside_margin=0.25, seed=1)
    for _ in range(200):
        x, y = inside.parameters_for(300, 100)["center"]
        assert 0 <= x <= 300 and 0 <= y <= 100
        x, y = outside.parameters_for(300, 100)["center"]
        assert not (0 <= x <= 300 and 0 <= y <= 100)
        assert -75 <= x <= 375 and -25 <= y <= 125
    fractions = LightShafts(center_x=(0.0, 0.1), seed=2).parameters_for(1000, 100)["center"]
    assert 0 <= fractions[0] <= 100 and fractions[1] == 50
    assert LightShafts().parameters_for(10, 10)["center"] is None


def test_p_leaves_images_as_they_came(sample):
    never = LightShafts(p=0.0)
    result = never(sample)
    assert result is not sample
    numpy.testing.assert_array_equal(result, sample)


@pytest.mark.parametrize("arguments, error", [
    ({"exposure": (60, 10)}, ValueError),
    ({"exposure": "bright"}, TypeError),
    ({"exposure": (1, 2, 3)}, TypeError),
    ({"center": "left"}, ValueError),
    ({"center": "inside", "center_x": (0, 1)}, ValueError),
    ({"center": (1, "2")}, TypeError),
    ({"quality": ["high", "best"]}, ValueError),
    ({"quality": []}, ValueError),
    ({"p": 1.5}, ValueError),
    ({"outside_margin": 0}, ValueError),
])
def test_bad_arguments_are_refused_when_made(arguments, error):
    with pytest.raises(error):
        LightShafts(**arguments)


def test_a_drawn_value_outside_the_plugins_range_is_refused_by_the_call(sample):
    with pytest.raises(ValueError, match="exposure must be from 0 to 100"):
        LightShafts(exposure=(150, 200))(sample)
    with pytest.raises(ValueError, match="one H x W x C image"):
        LightShafts()(numpy.stack([sample, sample]))
