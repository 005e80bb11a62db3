"""Light shafts on numpy arrays: the Ostrel Solvane effect plug-in, as `solvane render` draws them.

    import numpy, ostrel_solvane
    shafts = ostrel_solvane.render(image, threshold=40, exposure=25, center=(320, 90))

render() takes an H x W x 4 (RGBA) or H x W x 3 (RGB) array of uint8, uint16 or float32 (0 to 1), or a batch of
them (N x H x W x C), and returns a new array of the same shape and type (or fills `out`). The values are in the
host's units, as `solvane render` takes them: per cent for threshold, threshold_smooth and exposure, pixels for the
centre (from the image's top-left corner; None is the middle of the image) and the shine length, "high", "medium"
or "low" for the quality. A value left at None is the plug-in's own default (see parameters()).

Every frame renders on one thread of the module's own, with Python's lock released; frames from several Python
threads take turns. A frame the plug-in refuses raises RenderError (with .code and .cause), never a blank array.
"""

import atexit as _atexit

from ._native import RenderError, parameters, render, version
from .transforms import LightShafts

__all__ = ["LightShafts", "RenderError", "parameters", "render", "version"]


def _set_down():
    from ._native import _shut_down

    failure = _shut_down()
    if failure:
        import sys

        print("ostrel_solvane: the plug-in's set-down failed: " + failure, file=sys.stderr)


_atexit.register(_set_down)
