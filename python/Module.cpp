// The native part of the Python module ostrel_solvane: render() on numpy arrays, parameters(), version, and the
// plug-in's set-down at the interpreter's exit. Arrays and values are checked here, with Python's GIL held; the
// frames render with it released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "python/ArrayPixels.h"
#include "python/ShaftSettings.h"
#include "python/SharedPlugin.h"
#include "solvane/Version.h"

namespace py = pybind11;

namespace Tamrin {
namespace Solvane {
namespace Python {

namespace {

// The host keeps coordinates within +-32767 pixels: no side of a layer may be longer.
constexpr py::ssize_t kLargestSide = 32767;

std::string typeName(const py::handle& value) { return py::str(py::type::handle_of(value).attr("__name__")); }

std::optional<double> numberArgument(const py::object& value, const char* name)
{
    if (value.is_none()) {
        return std::nullopt;
    }
    if (py::isinstance<py::bool_>(value) || !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value) ||
                                              py::hasattr(value, "__float__"))) {
        throw py::type_error(std::string(name) + " must be a number, not " + typeName(value));
    }
    return value.cast<double>();
}

std::optional<long long> integerArgument(const py::object& value, const char* name)
{
    if (value.is_none()) {
        return std::nullopt;
    }
    if (py::isinstance<py::bool_>(value) || !py::hasattr(value, "__index__")) {
        throw py::type_error(std::string(name) + " must be an integer, not " + typeName(value));
    }
    const py::int_ index(value.attr("__index__")());
    // Python's integers have no bound; one beyond 64 bits is out of any range anyway.
    try {
        return index.cast<long long>();
    } catch (const py::cast_error&) {
        throw py::value_error(std::string(name) + " is out of range: " + std::string(py::str(value)));
    }
}

ShaftSettings settingsFrom(const py::object& threshold, const py::object& thresholdSmooth, const py::object& center,
                           const py::object& shineLength, const py::object& exposure, const py::object& quality,
                           const py::object& rayOnly)
{
    ShaftSettings s;
    s.threshold = numberArgument(threshold, "threshold");
    s.thresholdSmooth = numberArgument(thresholdSmooth, "threshold_smooth");
    if (!center.is_none()) {
        if (py::isinstance<py::str>(center) || !py::isinstance<py::sequence>(center) || py::len(center) != 2) {
            throw py::type_error("center must be None or a pair (x, y) of pixels, not " + typeName(center));
        }
        const py::sequence pair(center);
        s.centerX = numberArgument(pair[0], "center's x");
        s.centerY = numberArgument(pair[1], "center's y");
        if (!s.centerX || !s.centerY) {
            throw py::type_error("center must be None or a pair (x, y) of pixels, not a pair holding None");
        }
    }
    s.shineLength = integerArgument(shineLength, "shine_length");
    s.exposure = numberArgument(exposure, "exposure");
    if (!quality.is_none()) {
        if (!py::isinstance<py::str>(quality)) {
            throw py::type_error("quality must be 'high', 'medium' or 'low', not " + typeName(quality));
        }
        std::string name = quality.cast<std::string>();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const auto& names = qualityNames();
        const auto found = std::find(names.begin(), names.end(), name);
        if (found == names.end()) {
            throw py::value_error("quality must be 'high', 'medium' or 'low', not '" + quality.cast<std::string>() +
                                  "'");
        }
        s.quality = static_cast<int>(found - names.begin()) + 1;
    }
    if (!py::isinstance<py::bool_>(rayOnly) && !py::hasattr(rayOnly, "__bool__")) {
        throw py::type_error("ray_only must be True or False, not " + typeName(rayOnly));
    }
    s.rayOnly = rayOnly.cast<bool>();
    return s;
}

SampleType sampleTypeOf(const py::array& array, const char* name)
{
    const py::dtype dtype = array.dtype();
    if (dtype.is(py::dtype::of<std::uint8_t>())) {
        return SampleType::UInt8;
    }
    if (dtype.is(py::dtype::of<std::uint16_t>())) {
        return SampleType::UInt16;
    }
    if (dtype.is(py::dtype::of<float>())) {
        return SampleType::Float32;
    }
    // dtype.is() compares the objects; an equal dtype of another byte order or object is caught here.
    const char kind = dtype.kind();
    const auto size = dtype.itemsize();
    if (dtype.attr("isnative").cast<bool>()) {
        if (kind == 'u' && size == 1) {
            return SampleType::UInt8;
        }
        if (kind == 'u' && size == 2) {
            return SampleType::UInt16;
        }
        if (kind == 'f' && size == 4) {
            return SampleType::Float32;
        }
    }
    throw py::type_error(std::string(name) + " must be an array of uint8, uint16 or float32 (0 to 1), not " +
                         std::string(py::str(py::handle(dtype))));
}

// The frames of an image (H×W×C) or a batch (N×H×W×C) array.
struct ArrayShape {
    py::ssize_t frames = 1;
    py::ssize_t height = 0, width = 0, channels = 0;
    bool batch = false;
};

ArrayShape shapeOf(const py::array& array, const char* name)
{
    ArrayShape shape;
    if (array.ndim() != 3 && array.ndim() != 4) {
        throw py::value_error(std::string(name) + " must be an H×W×4 (RGBA) or H×W×3 (RGB) array, or N×H×W×C " +
                              "for a batch, not one of " + std::to_string(array.ndim()) + " dimensions");
    }
    shape.batch = array.ndim() == 4;
    const py::ssize_t first = shape.batch ? 1 : 0;
    shape.frames = shape.batch ? array.shape(0) : 1;
    shape.height = array.shape(first);
    shape.width = array.shape(first + 1);
    shape.channels = array.shape(first + 2);
    if (shape.channels != 3 && shape.channels != 4) {
        throw py::value_error(std::string(name) + " must have 4 channels (RGBA) or 3 (RGB) in its last dimension, "
                              "not " + std::to_string(shape.channels));
    }
    if (shape.width < 1 || shape.height < 1 || shape.frames < 1) {
        throw py::value_error(std::string(name) + " is empty (" + std::string(py::str(array.attr("shape"))) + ")");
    }
    if (shape.width > kLargestSide || shape.height > kLargestSide) {
        throw py::value_error(std::string(name) + " is too large: " + std::to_string(shape.width) + "x" +
                              std::to_string(shape.height) + " pixels, where the host takes at most " +
                              std::to_string(kLargestSide) + " on a side");
    }
    return shape;
}

py::array render(const py::array& image, const py::object& threshold, const py::object& thresholdSmooth,
                 const py::object& center, const py::object& shineLength, const py::object& exposure,
                 const py::object& quality, const py::object& rayOnly, const py::object& out)
{
    const SampleType type = sampleTypeOf(image, "image");
    const ArrayShape shape = shapeOf(image, "image");
    const ShaftSettings settings =
        settingsFrom(threshold, thresholdSmooth, center, shineLength, exposure, quality, rayOnly);

    py::array result;
    if (out.is_none()) {
        result = py::array(image.dtype(), std::vector<py::ssize_t>(image.shape(), image.shape() + image.ndim()));
    } else {
        if (!py::isinstance<py::array>(out)) {
            throw py::type_error("out must be a numpy array, not " + typeName(out));
        }
        result = py::reinterpret_borrow<py::array>(out);
        if (!result.dtype().is(image.dtype()) && !result.dtype().equal(image.dtype())) {
            throw py::type_error("out must have the image's dtype (" + std::string(py::str(py::handle(image.dtype()))) +
                                 "), not " + std::string(py::str(py::handle(result.dtype()))));
        }
        const bool sameShape = result.ndim() == image.ndim() &&
                               std::equal(image.shape(), image.shape() + image.ndim(), result.shape());
        if (!sameShape) {
            throw py::value_error("out must have the image's shape " + std::string(py::str(image.attr("shape"))) +
                                  ", not " + std::string(py::str(result.attr("shape"))));
        }
        if (!(result.flags() & py::array::c_style)) {
            throw py::value_error("out must be C-contiguous (numpy.ascontiguousarray), as the frame is written into "
                                  "it in place");
        }
        if (!result.writeable()) {
            throw py::value_error("out is read-only");
        }
    }
    // The frames are read as packed rows; a strided view (a crop, a channel flip) is copied first. The copy is
    // made before anything is written, so `out` may be the image itself or overlap it.
    const py::module_ numpy = py::module_::import("numpy");
    py::array source = image;
    const bool overlaps = !out.is_none() && numpy.attr("shares_memory")(image, result).cast<bool>();
    if (!(image.flags() & py::array::c_style) || overlaps) {
        source = numpy.attr("ascontiguousarray")(image);
        if (overlaps && source.data() == image.data()) {
            source = numpy.attr("array")(image, py::arg("copy") = true);
        }
    }
    {
        // The values' ranges are the plug-in's own: checked before any frame is drawn.
        std::vector<StandIn::HostParameter> declared;
        {
            py::gil_scoped_release released;
            declared = SharedPlugin::instance().declared();
        }
        const std::string problem = settings.problem(declared);
        if (!problem.empty()) {
            throw py::value_error(problem);
        }
    }
    const std::size_t frameBytes = static_cast<std::size_t>(shape.width) * static_cast<std::size_t>(shape.height) *
                                   static_cast<std::size_t>(shape.channels) * sampleBytes(type);
    const auto* from = static_cast<const unsigned char*>(source.data());
    auto* to = static_cast<unsigned char*>(result.mutable_data());
    {
        py::gil_scoped_release released;
        for (py::ssize_t f = 0; f < shape.frames; ++f) {
            PackedImage frame;
            frame.pixels = from + static_cast<std::size_t>(f) * frameBytes;
            frame.type = type;
            frame.width = static_cast<int>(shape.width);
            frame.height = static_cast<int>(shape.height);
            frame.channels = static_cast<int>(shape.channels);
            StandIn::HostWorld input(frame.width, frame.height);
            StandIn::HostWorld output(frame.width, frame.height);
            imageToWorld(frame, input);
            try {
                SharedPlugin::instance().render(settings, input, output);
            } catch (const RenderRefused& e) {
                if (!shape.batch) {
                    throw;
                }
                throw RenderRefused(std::string(e.what()) + " (frame " + std::to_string(f) + " of the batch)",
                                    e.error, e.cause);
            }
            worldToImage(input, output, frame, to + static_cast<std::size_t>(f) * frameBytes);
        }
    }
    return result;
}

py::list parameters()
{
    std::vector<StandIn::HostParameter> declared;
    {
        py::gil_scoped_release released;
        declared = SharedPlugin::instance().declared();
    }
    py::list list;
    for (const ShownParameter& p : shownParameters(declared)) {
        py::dict entry;
        entry["argument"] = p.argument;
        entry["name"] = py::bytes(p.name).attr("decode")("utf-8", "replace");
        entry["kind"] = p.kind;
        entry["min"] = p.minimum;
        entry["max"] = p.maximum;
        if (p.kind == "point") {
            entry["default"] = py::make_tuple(p.defaults.at(0), p.defaults.at(1));
            entry["unit"] = "per cent of the image";
        } else if (p.kind == "popup") {
            const int choice = static_cast<int>(p.defaults.at(0));
            entry["default"] = choice >= 1 && choice <= 3 ? py::str(qualityNames()[choice - 1]) : py::str("");
            entry["choices"] = py::cast(qualityNames());
            py::list shown;
            for (const std::string& c : p.choices) {
                shown.append(py::bytes(c).attr("decode")("utf-8", "replace"));
            }
            entry["labels"] = shown;
        } else if (p.kind == "checkbox") {
            entry["default"] = p.defaults.at(0) != 0.0;
        } else if (p.kind == "slider") {
            entry["default"] = static_cast<long long>(p.defaults.at(0));
        } else {
            entry["default"] = p.defaults.at(0);
        }
        entry["hidden"] = p.hidden;
        list.append(entry);
    }
    return list;
}

} // namespace
} // namespace Python
} // namespace Solvane
} // namespace Tamrin

PYBIND11_MODULE(_native, m)
{
    using namespace Tamrin::Solvane::Python;
    m.doc() = "The Ostrel Solvane light-shaft plug-in on numpy arrays (the native part of ostrel_solvane).";
    m.attr("version") = SOLVANE_VERSION_STRING;

    static py::exception<RenderRefused> renderError(m, "RenderError", PyExc_RuntimeError);
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) {
                std::rethrow_exception(failure);
            }
        } catch (const RenderRefused& e) {
            py::object error = py::handle(renderError.ptr())(e.what());
            error.attr("code") = e.error;
            error.attr("cause") = e.cause;
            PyErr_SetObject(renderError.ptr(), error.ptr());
        } catch (const InheritedAcrossFork& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
        }
    });

    m.def("render", &render, py::arg("image"), py::kw_only(), py::arg("threshold") = py::none(),
          py::arg("threshold_smooth") = py::none(), py::arg("center") = py::none(),
          py::arg("shine_length") = py::none(), py::arg("exposure") = py::none(), py::arg("quality") = py::none(),
          py::arg("ray_only") = false, py::arg("out") = py::none(),
          "Light shafts over an H x W x 4 (RGBA) or H x W x 3 (RGB) image of uint8, uint16 or float32 (0 to 1), or\n"
          "a batch of them (N x H x W x C); returns a new array of the same shape and type, or fills `out`.\n"
          "threshold, threshold_smooth, exposure: per cent; center: (x, y) pixels from the top-left corner;\n"
          "shine_length: pixels; quality: 'high', 'medium' or 'low'; ray_only: the shafts alone.\n"
          "None is the plug-in's default (parameters()). Raises RenderError for a frame the plug-in refuses.");
    m.def("parameters", &parameters,
          "The effect's parameters as the host shows them: keyword, name, kind, range, default, hidden.");
    m.def("_shut_down", [] {
        std::string failure;
        {
            py::gil_scoped_release released;
            failure = SharedPlugin::instance().shutDown();
        }
        return failure;
    });
    m.def("_plugin_path", &SharedPlugin::pluginPath);
}
