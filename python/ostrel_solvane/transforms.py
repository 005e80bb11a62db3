"""LightShafts: the effect as a callable for augmentation pipelines, with values drawn at random for each image."""

import math
import numbers
import random

from ._native import render

_QUALITIES = ("high", "medium", "low")


def _number_or_range(name, value):
    """None, a number, or a (low, high) pair to draw from; returns None, a float or a (low, high) tuple."""
    if value is None:
        return None
    if isinstance(value, numbers.Real) and not isinstance(value, bool):
        return float(value)
    if isinstance(value, (tuple, list)) and len(value) == 2:
        low, high = value
        if all(isinstance(v, numbers.Real) and not isinstance(v, bool) for v in (low, high)):
            if not (math.isfinite(low) and math.isfinite(high)) or low > high:
                raise ValueError("%s must be a range (low, high) with low <= high, not %r" % (name, value))
            return (float(low), float(high))
    raise TypeError("%s must be None, a number or a range (low, high), not %r" % (name, value))


class LightShafts:
    """Renders light shafts over one image a call, with values drawn for each image.

    Every value may be a constant (in render()'s units), a range (low, high) to draw uniformly from, or None for the
    plug-in's default. The centre is drawn as a fraction of the image's width and height: center_x and center_y are
    ranges of fractions (0 is the left or top edge, 1 the right or bottom edge; values beyond them put the light
    outside the frame); center="inside" draws it in the frame, "outside" outside it, within `outside_margin`
    image sizes of its edge; center=(x, y) in pixels holds it. quality may be one name or a sequence to choose from.
    `p` is the chance that an image gets shafts at all (others are returned as they came, copied). `seed` makes the
    draws repeat.

        shafts = LightShafts(exposure=(10, 40), center="outside", seed=7)
        out = shafts(image)          # a new array, like render()
    """

    def __init__(self, *, threshold=None, threshold_smooth=None, exposure=None, shine_length=None, center=None,
                 center_x=None, center_y=None, outside_margin=0.5, quality=None, ray_only=False, p=1.0, seed=None):
        self.threshold = _number_or_range("threshold", threshold)
        self.threshold_smooth = _number_or_range("threshold_smooth", threshold_smooth)
        self.exposure = _number_or_range("exposure", exposure)
        self.shine_length = _number_or_range("shine_length", shine_length)
        self.center_x = _number_or_range("center_x", center_x)
        self.center_y = _number_or_range("center_y", center_y)
        if isinstance(center, str):
            if center not in ("inside", "outside"):
                raise ValueError("center must be None, 'inside', 'outside' or (x, y) pixels, not %r" % center)
            if center_x is not None or center_y is not None:
                raise ValueError("center=%r and center_x/center_y both choose the centre: give one" % center)
        elif center is not None:
            if not (isinstance(center, (tuple, list)) and len(center) == 2 and
                    all(isinstance(v, numbers.Real) and not isinstance(v, bool) for v in center)):
                raise TypeError("center must be None, 'inside', 'outside' or (x, y) pixels, not %r" % (center,))
            center = (float(center[0]), float(center[1]))
        self.center = center
        margin = _number_or_range("outside_margin", outside_margin)
        if not isinstance(margin, float) or margin <= 0:
            raise ValueError("outside_margin must be a number above 0, not %r" % (outside_margin,))
        self.outside_margin = margin
        if quality is None or isinstance(quality, str):
            qualities = None if quality is None else (quality,)
        else:
            qualities = tuple(quality)
        for q in qualities or ():
            if not isinstance(q, str) or q.lower() not in _QUALITIES:
                raise ValueError("quality must be 'high', 'medium' or 'low' (or a sequence of them), not %r" % (q,))
        if qualities is not None and not qualities:
            raise ValueError("quality must name at least one of 'high', 'medium' or 'low'")
        self.quality = qualities
        self.ray_only = bool(ray_only)
        p = _number_or_range("p", p)
        if not isinstance(p, float) or not 0.0 <= p <= 1.0:
            raise ValueError("p must be a number from 0 to 1, not %r" % (p,))
        self.p = p
        self._random = random.Random(seed)

    def _draw(self, value):
        if isinstance(value, tuple):
            return self._random.uniform(value[0], value[1])
        return value

    def _draw_center(self, width, height):
        if isinstance(self.center, tuple):
            return self.center
        if self.center == "inside":
            return (self._random.uniform(0, width), self._random.uniform(0, height))
        if self.center == "outside":
            # A point in the ring around the frame, `outside_margin` image sizes wide: the frame grown by the margin
            # on every side, drawn until the point lies outside the frame itself.
            m = self.outside_margin
            while True:
                fx = self._random.uniform(-m, 1 + m)
                fy = self._random.uniform(-m, 1 + m)
                if not (0 <= fx <= 1 and 0 <= fy <= 1):
                    return (fx * width, fy * height)
        if self.center_x is None and self.center_y is None:
            return None
        fx = self._draw(self.center_x) if self.center_x is not None else 0.5
        fy = self._draw(self.center_y) if self.center_y is not None else 0.5
        return (fx * width, fy * height)

    def parameters_for(self, width, height):
        """Draws one image's values: the keywords render() is called with (None: the plug-in's default)."""
        shine = self._draw(self.shine_length)
        quality = self._random.choice(self.quality) if self.quality else None
        return {
            "threshold": self._draw(self.threshold),
            "threshold_smooth": self._draw(self.threshold_smooth),
            "center": self._draw_center(width, height),
            "shine_length": None if shine is None else int(round(shine)),
            "exposure": self._draw(self.exposure),
            "quality": quality,
            "ray_only": self.ray_only,
        }

    def __call__(self, image):
        """One image (H x W x C) with shafts, as render() returns it; the values drawn for it."""
        shape = getattr(image, "shape", None)
        if shape is None or len(shape) != 3:
            raise ValueError("LightShafts takes one H x W x C image a call, not an array of shape %r" % (shape,))
        height, width = int(shape[0]), int(shape[1])
        if self.p < 1.0 and self._random.random() >= self.p:
            return image.copy()
        return render(image, **self.parameters_for(width, height))

    def __repr__(self):
        return ("LightShafts(threshold=%r, threshold_smooth=%r, exposure=%r, shine_length=%r, center=%r, "
                "center_x=%r, center_y=%r, quality=%r, ray_only=%r, p=%r)" % (
                    self.threshold, self.threshold_smooth, self.exposure, self.shine_length, self.center,
                    self.center_x, self.center_y, self.quality, self.ray_only, self.p))
