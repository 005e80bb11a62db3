// The GIMP 2.10 plug-in "ostrel-solvane": the procedure plug-in-ostrel-solvane, which
// applies the light shafts to an RGB or RGBA layer of any precision through the
// Ostrel Solvane plug-in, hosted by the stand-in host (ShaftRenderer). query()
// registers the procedure; run() takes the three run modes: interactive (the dialog
// with its preview), non-interactive (Script-Fu, batch jobs) and with the last values.
// Nothing thrown inside reaches GIMP: each failure becomes the procedure's error.

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "gimp/LayerPixels.h"
#include "gimp/ShaftRenderer.h"
#include "gimp/ShaftValues.h"
#include "host/ParameterIndex.h"

using namespace Tamrin::Solvane;
using Gimp::LayerPlace;
using Gimp::ShaftValues;

namespace {

constexpr const char* kProcedure = "plug-in-ostrel-solvane";
constexpr const char* kBinary = "ostrel-solvane";
// The preview renders a copy of the layer reduced to at most this many pixels on its longer side.
constexpr int kPreviewLongestSide = 640;

// The last values, kept by GIMP between runs (gimp_set_data): plain numbers, with the
// centre relative to the layer, so that a repeat on another layer places the light alike.
struct KeptValues {
    double threshold;
    double thresholdSmooth;
    double centerFractionX;
    double centerFractionY;
    gint32 shineLength;
    double exposure;
    gint32 quality;
    gint32 rayOnly;
};

gchar* text(const char* literal) { return const_cast<gchar*>(literal); }

LayerPlace placeOf(gint32 drawable)
{
    LayerPlace place;
    gimp_drawable_offsets(drawable, &place.offsetX, &place.offsetY);
    place.width = gimp_drawable_width(drawable);
    place.height = gimp_drawable_height(drawable);
    return place;
}

KeptValues keep(const ShaftValues& values, const LayerPlace& layer)
{
    KeptValues kept{};
    kept.threshold = values.threshold;
    kept.thresholdSmooth = values.thresholdSmooth;
    values.centerToLayerFraction(layer, kept.centerFractionX, kept.centerFractionY);
    kept.shineLength = values.shineLength;
    kept.exposure = values.exposure;
    kept.quality = values.quality;
    kept.rayOnly = values.rayOnly ? 1 : 0;
    return kept;
}

// The kept values, which GIMP hands back as they were stored (by this run's version or
// another): settled into the declared ranges, each value that had to change said once.
ShaftValues restore(const KeptValues& kept, const LayerPlace& layer, Gimp::ShaftRenderer& renderer)
{
    ShaftValues values = ShaftValues::declaredDefaults(renderer.declared(), layer);
    values.threshold = kept.threshold;
    values.thresholdSmooth = kept.thresholdSmooth;
    values.centerFromLayerFraction(layer, kept.centerFractionX, kept.centerFractionY);
    values.shineLength = kept.shineLength;
    values.exposure = kept.exposure;
    values.quality = kept.quality;
    values.rayOnly = kept.rayOnly != 0;
    std::vector<std::string> notes;
    values.settle(renderer.declared(), layer, notes);
    for (const std::string& note : notes) {
        g_printerr("%s: the last value of %s\n", kBinary, note.c_str());
    }
    return values;
}

// A reference to a GEGL buffer, given back when it ends.
struct BufferUnref {
    void operator()(GeglBuffer* buffer) const { g_object_unref(buffer); }
};
using BufferRef = std::unique_ptr<GeglBuffer, BufferUnref>;

// The 8-bit formats the plug-in's pixels travel in, in the layer's own colour space.
const Babl* eightBitFormat(gint32 drawable)
{
    const Babl* native = gimp_drawable_get_format(drawable);
    return babl_format_with_space(gimp_drawable_has_alpha(drawable) ? "R'G'B'A u8" : "R'G'B' u8", native);
}

// --- the render of a whole layer -----------------------------------------------------------------

// GIMP's reason for the last call it refused, after what it did not do.
std::string refusal(const char* what)
{
    const gchar* reason = gimp_get_pdb_error();
    return std::string("GIMP ") + what + (reason && *reason ? std::string(": ") + reason : std::string());
}

// The image's undo group, ended however the write ends; a failed end is GIMP refusing the step.
class UndoGroup {
public:
    explicit UndoGroup(gint32 image) : image_(image), open_(gimp_image_undo_group_start(image) != FALSE)
    {
        if (!open_) {
            throw std::runtime_error(refusal("did not open an undo step"));
        }
    }
    ~UndoGroup()
    {
        if (open_) {
            gimp_image_undo_group_end(image_);
        }
    }
    UndoGroup(const UndoGroup&) = delete;
    UndoGroup& operator=(const UndoGroup&) = delete;
    void end()
    {
        open_ = false;
        if (!gimp_image_undo_group_end(image_)) {
            throw std::runtime_error(refusal("did not close the undo step"));
        }
    }

private:
    gint32 image_;
    bool open_;
};

// Why GIMP will not let a plug-in write the drawable's pixels, or what the drawable is
// when it is not an RGB layer; empty when the procedure can work on it.
std::string unwritable(gint32 drawable)
{
    if (gimp_item_is_layer_mask(drawable)) {
        return "Light Shafts works on layers; this is a layer mask (choose the layer itself in the Layers dialog)";
    }
    if (gimp_item_is_channel(drawable)) {
        return "Light Shafts works on layers; this is a channel (choose a layer in the Layers dialog)";
    }
    if (gimp_item_is_group(drawable)) {
        return "Light Shafts works on a layer's own pixels; this is a layer group, whose pixels are its layers' "
               "(choose one of them, or merge the group)";
    }
    for (gint32 item = drawable; item > 0; item = gimp_item_get_parent(item)) {
        if (gimp_item_get_lock_content(item)) {
            return item == drawable
                       ? std::string("Light Shafts cannot change this layer: its pixels are locked (unlock them in "
                                     "the Layers dialog)")
                       : std::string("Light Shafts cannot change this layer: the pixels of its group are locked "
                                     "(unlock them in the Layers dialog)");
        }
    }
    if (!gimp_drawable_is_rgb(drawable)) {
        return gimp_drawable_is_indexed(drawable)
                   ? "Light Shafts works on RGB images; this one is indexed (convert it with Image > Mode > RGB)"
                   : "Light Shafts works on RGB images; this one is grayscale (convert it with Image > Mode > RGB)";
    }
    return std::string();
}

// Renders the layer and writes the result where the selection allows, as one undo
// step. Throws std::runtime_error with the user's message when nothing was written.
void applyToLayer(Gimp::ShaftRenderer& renderer, gint32 image, gint32 drawable, const ShaftValues& values)
{
    const LayerPlace layer = placeOf(drawable);
    gint x = 0, y = 0, w = 0, h = 0;
    if (!gimp_drawable_mask_intersect(drawable, &x, &y, &w, &h)) {
        return; // the selection misses the layer: nothing to write
    }
    gimp_progress_init("Light Shafts (Ostrel Solvane)");

    BufferRef buffer(gimp_drawable_get_buffer(drawable));
    const Babl* format8 = eightBitFormat(drawable);
    const Babl* native = gegl_buffer_get_format(buffer.get());
    const int channels = gimp_drawable_has_alpha(drawable) ? 4 : 3;
    const int nativeBytes = babl_format_get_bytes_per_pixel(native);

    // The whole layer shines into the selection, so the whole layer is rendered.
    std::vector<std::uint8_t> in8(static_cast<std::size_t>(layer.width) * layer.height * channels);
    const GeglRectangle whole = {0, 0, layer.width, layer.height};
    gegl_buffer_get(buffer.get(), &whole, 1.0, format8, in8.data(), GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    StandIn::HostWorld input(layer.width, layer.height);
    StandIn::HostWorld output(layer.width, layer.height);
    Gimp::rowsToWorld(in8.data(), channels, input);
    gimp_progress_update(0.2);

    renderer.render(values, layer, 1.0, input, output);
    gimp_progress_update(0.8);

    std::vector<std::uint8_t> out8(in8.size());
    Gimp::worldToRows(output, channels, out8.data());

    // The selection's bounds, at the layer's precision: a pixel the shafts left as it
    // was keeps its own value, every other one is the 8-bit result converted.
    const std::size_t pixels = static_cast<std::size_t>(w) * h;
    std::vector<std::uint8_t> region8In(pixels * channels), region8Out(pixels * channels);
    for (int row = 0; row < h; ++row) {
        const std::size_t from = (static_cast<std::size_t>(y + row) * layer.width + x) * channels;
        std::memcpy(&region8In[static_cast<std::size_t>(row) * w * channels], &in8[from],
                    static_cast<std::size_t>(w) * channels);
        std::memcpy(&region8Out[static_cast<std::size_t>(row) * w * channels], &out8[from],
                    static_cast<std::size_t>(w) * channels);
    }
    std::vector<std::uint8_t> original(pixels * nativeBytes), result(pixels * nativeBytes);
    const GeglRectangle region = {x, y, w, h};
    gegl_buffer_get(buffer.get(), &region, 1.0, native, original.data(), GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    babl_process(babl_fish(format8, native), region8Out.data(), result.data(), static_cast<long>(pixels));
    Gimp::keepUnchangedPixels(region8In.data(), region8Out.data(), channels, original.data(), result.data(),
                              nativeBytes, pixels);
    // The layer's pixels are read: its buffer goes before the shadow's pixels are merged into the layer.
    buffer.reset();

    // Written whole into the shadow buffer: merging it applies the selection's mask,
    // feathering included, and makes the one undo step. Each call that writes is
    // answered by GIMP: a refusal is the procedure's failure, never a success.
    UndoGroup undo(image);
    {
        const BufferRef shadow(gimp_drawable_get_shadow_buffer(drawable));
        if (!shadow) {
            throw std::runtime_error(refusal("gave no buffer to write the layer's pixels into"));
        }
        gegl_buffer_set(shadow.get(), &region, 0, native, result.data(), GEGL_AUTO_ROWSTRIDE);
        gegl_buffer_flush(shadow.get());
    }
    if (!gimp_drawable_merge_shadow(drawable, TRUE)) {
        throw std::runtime_error(refusal("did not write the result into the layer"));
    }
    if (!gimp_drawable_update(drawable, x, y, w, h)) {
        throw std::runtime_error(refusal("did not update the layer"));
    }
    undo.end();
    gimp_progress_update(1.0);
}

// --- the dialog ------------------------------------------------------------------------------------

struct Dialog {
    Gimp::ShaftRenderer* renderer = nullptr;
    gint32 drawable = -1;
    LayerPlace layer;
    ShaftValues values;
    GtkWidget* preview = nullptr;
    GtkObject* centerX = nullptr;
    GtkObject* centerY = nullptr;
    // The reduced copy of the whole layer, read once, and its scale.
    std::vector<std::uint8_t> reduced8;
    int reducedWidth = 0;
    int reducedHeight = 0;
    double scale = 1.0;
    int channels = 4;
    bool previewFailed = false;
    bool positioned = false;
};

void readReducedCopy(Dialog& dialog)
{
    const int longest = std::max(dialog.layer.width, dialog.layer.height);
    dialog.scale = longest > kPreviewLongestSide ? static_cast<double>(kPreviewLongestSide) / longest : 1.0;
    dialog.reducedWidth = std::max(1, static_cast<int>(dialog.layer.width * dialog.scale));
    dialog.reducedHeight = std::max(1, static_cast<int>(dialog.layer.height * dialog.scale));
    dialog.reduced8.assign(static_cast<std::size_t>(dialog.reducedWidth) * dialog.reducedHeight * dialog.channels, 0);
    const BufferRef buffer(gimp_drawable_get_buffer(dialog.drawable));
    const GeglRectangle rect = {0, 0, dialog.reducedWidth, dialog.reducedHeight};
    gegl_buffer_get(buffer.get(), &rect, dialog.scale, eightBitFormat(dialog.drawable), dialog.reduced8.data(),
                    GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_CLAMP);
}

// The preview: a part of the layer at full size. A layer no larger than the reduced copy's
// limit is rendered whole, as applying the filter renders it. A larger one: the shafts
// alone (Ray Only) are rendered on the reduced copy of the whole layer, scaled up to the
// part shown and screened over the layer's own pixels there.
void drawPreview(Dialog& dialog)
{
    GimpPreview* preview = GIMP_PREVIEW(dialog.preview);
    gint px = 0, py = 0, pw = 0, ph = 0;
    gimp_preview_get_position(preview, &px, &py);
    gimp_preview_get_size(preview, &pw, &ph);
    if (pw <= 0 || ph <= 0) {
        return;
    }
    const int channels = dialog.channels;
    std::vector<std::uint8_t> shown(static_cast<std::size_t>(pw) * ph * channels);
    {
        const BufferRef buffer(gimp_drawable_get_buffer(dialog.drawable));
        const GeglRectangle rect = {px, py, pw, ph};
        gegl_buffer_get(buffer.get(), &rect, 1.0, eightBitFormat(dialog.drawable), shown.data(), GEGL_AUTO_ROWSTRIDE,
                        GEGL_ABYSS_NONE);
    }

    try {
        StandIn::HostWorld input(dialog.reducedWidth, dialog.reducedHeight);
        StandIn::HostWorld output(dialog.reducedWidth, dialog.reducedHeight);
        Gimp::rowsToWorld(dialog.reduced8.data(), channels, input);
        const bool whole = dialog.scale == 1.0;
        ShaftValues values = dialog.values;
        values.rayOnly = values.rayOnly || !whole;
        dialog.renderer->render(values, dialog.layer, dialog.scale, input, output);
        if (whole) {
            std::vector<std::uint8_t> out(dialog.reduced8.size());
            Gimp::worldToRows(output, channels, out.data());
            for (int j = 0; j < ph; ++j) {
                std::memcpy(&shown[static_cast<std::size_t>(j) * pw * channels],
                            &out[(static_cast<std::size_t>(py + j) * dialog.layer.width + px) * channels],
                            static_cast<std::size_t>(pw) * channels);
            }
        } else {
            std::vector<std::uint8_t> shafts(static_cast<std::size_t>(dialog.reducedWidth) * dialog.reducedHeight * 4);
            Gimp::worldToRows(output, 4, shafts.data());
            Gimp::screenReducedShafts(shafts.data(), dialog.reducedWidth, dialog.reducedHeight, dialog.scale,
                                      dialog.values.rayOnly, shown.data(), channels, px, py, pw, ph);
        }
    } catch (const std::exception& e) {
        // The layer is shown as it is; the reason is said once.
        if (!dialog.previewFailed) {
            g_message("The preview could not be rendered: %s", e.what());
            dialog.previewFailed = true;
        }
    }
    gimp_preview_draw_buffer(preview, shown.data(), pw * channels);
}

void onPreviewInvalidated(GimpPreview*, gpointer data) { drawPreview(*static_cast<Dialog*>(data)); }

// The view centred on the light's centre, as near as the layer allows; once, at the first allocation.
void onFirstAllocation(GtkWidget*, GtkAllocation* allocation, gpointer data)
{
    auto& dialog = *static_cast<Dialog*>(data);
    if (dialog.positioned) {
        return;
    }
    dialog.positioned = true;
    const int x = static_cast<int>(dialog.values.centerX) - dialog.layer.offsetX - allocation->width / 2;
    const int y = static_cast<int>(dialog.values.centerY) - dialog.layer.offsetY - allocation->height / 2;
    gimp_scrolled_preview_set_position(GIMP_SCROLLED_PREVIEW(dialog.preview),
                                       std::clamp(x, 0, std::max(0, dialog.layer.width - allocation->width)),
                                       std::clamp(y, 0, std::max(0, dialog.layer.height - allocation->height)));
}

void onDoubleChanged(GtkAdjustment* adjustment, gpointer target)
{
    *static_cast<double*>(target) = gtk_adjustment_get_value(adjustment);
}

void onIntChanged(GtkAdjustment* adjustment, gpointer target)
{
    *static_cast<int*>(target) = static_cast<int>(std::lround(gtk_adjustment_get_value(adjustment)));
}

void onQualityChanged(GtkWidget* combo, gpointer target)
{
    gint choice = 2;
    if (gimp_int_combo_box_get_active(GIMP_INT_COMBO_BOX(combo), &choice)) {
        *static_cast<int*>(target) = choice;
    }
}

void onRayOnlyToggled(GtkToggleButton* button, gpointer target)
{
    *static_cast<bool*>(target) = gtk_toggle_button_get_active(button) != FALSE;
}

// A click on the preview puts the centre there.
gboolean onPreviewClicked(GtkWidget*, GdkEventButton* event, gpointer data)
{
    auto& dialog = *static_cast<Dialog*>(data);
    if (event->button != 1) {
        return FALSE;
    }
    gint x = 0, y = 0;
    gimp_preview_untransform(GIMP_PREVIEW(dialog.preview), static_cast<gint>(event->x), static_cast<gint>(event->y),
                             &x, &y);
    ShaftValues clicked;
    clicked.centerAtLayerPixel(dialog.layer, x, y);
    gtk_adjustment_set_value(GTK_ADJUSTMENT(dialog.centerX), clicked.centerX);
    gtk_adjustment_set_value(GTK_ADJUSTMENT(dialog.centerY), clicked.centerY);
    return TRUE;
}

void addSlider(GtkWidget* table, int row, const char* label, double value, double low, double high, int digits,
               GCallback changed, gpointer target, GtkWidget* preview)
{
    GtkObject* adjustment = gimp_scale_entry_new(GTK_TABLE(table), 0, row, label, 200, 6, value, low, high,
                                                 digits ? 0.1 : 1.0, digits ? 1.0 : 10.0, digits, TRUE, 0, 0, nullptr,
                                                 nullptr);
    g_signal_connect(adjustment, "value-changed", changed, target);
    g_signal_connect_swapped(adjustment, "value-changed", G_CALLBACK(gimp_preview_invalidate), preview);
}

GtkObject* addCenterSpin(GtkWidget* table, int row, const char* label, double value, double* target,
                         GtkWidget* preview)
{
    GtkObject* adjustment = nullptr;
    GtkWidget* spin = gimp_spin_button_new(&adjustment, value, -32767.0, 32767.0, 1.0, 10.0, 0.0, 1.0, 1);
    gimp_table_attach_aligned(GTK_TABLE(table), 0, row, label, 0.0, 0.5, spin, 1, TRUE);
    g_signal_connect(adjustment, "value-changed", G_CALLBACK(onDoubleChanged), target);
    g_signal_connect_swapped(adjustment, "value-changed", G_CALLBACK(gimp_preview_invalidate), preview);
    return adjustment;
}

const PF_ParamDef& declaredParameter(Gimp::ShaftRenderer& renderer, int index)
{
    return renderer.declared().at(static_cast<std::size_t>(index)).declared;
}

// The dialog; true when the user chose OK, with the values in `values`.
bool runDialog(Gimp::ShaftRenderer& renderer, gint32 drawable, ShaftValues& values)
{
    gimp_ui_init(kBinary, FALSE);
    Dialog dialog;
    dialog.renderer = &renderer;
    dialog.drawable = drawable;
    dialog.layer = placeOf(drawable);
    dialog.values = values;
    dialog.channels = gimp_drawable_has_alpha(drawable) ? 4 : 3;
    readReducedCopy(dialog);

    GtkWidget* window = gimp_dialog_new("Light Shafts (Ostrel Solvane)", kBinary, nullptr, GtkDialogFlags(0),
                                        gimp_standard_help_func, kProcedure, "_Cancel", GTK_RESPONSE_CANCEL, "_OK",
                                        GTK_RESPONSE_OK, nullptr);
    gtk_dialog_set_alternative_button_order(GTK_DIALOG(window), GTK_RESPONSE_OK, GTK_RESPONSE_CANCEL, -1);
    gimp_window_set_transient(GTK_WINDOW(window));

    GtkWidget* box = gtk_vbox_new(FALSE, 12);
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(window))), box, TRUE, TRUE, 0);

    ShaftValues& v = dialog.values;
    dialog.preview = gimp_drawable_preview_new_from_drawable_id(drawable);
    gtk_box_pack_start(GTK_BOX(box), dialog.preview, TRUE, TRUE, 0);
    g_signal_connect(dialog.preview, "invalidated", G_CALLBACK(onPreviewInvalidated), &dialog);
    GtkWidget* area = gimp_preview_get_area(GIMP_PREVIEW(dialog.preview));
    // The view starts where the light comes from, once the preview knows its size.
    g_signal_connect_after(area, "size-allocate", G_CALLBACK(onFirstAllocation), &dialog);
    gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(area, "button-press-event", G_CALLBACK(onPreviewClicked), &dialog);

    GtkWidget* table = gtk_table_new(8, 3, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(table), 6);
    gtk_table_set_row_spacings(GTK_TABLE(table), 6);
    gtk_box_pack_start(GTK_BOX(box), table, FALSE, FALSE, 0);

    const PF_ParamDef& threshold = declaredParameter(renderer, kParamThreshold);
    const PF_ParamDef& smooth = declaredParameter(renderer, kParamThresholdSmooth);
    const PF_ParamDef& shine = declaredParameter(renderer, kParamShineLength);
    const PF_ParamDef& exposure = declaredParameter(renderer, kParamExposure);
    addSlider(table, 0, "_Threshold (%):", v.threshold, StandIn::doubleFromFixed(threshold.u.fd.slider_min),
              StandIn::doubleFromFixed(threshold.u.fd.slider_max), 1, G_CALLBACK(onDoubleChanged), &v.threshold,
              dialog.preview);
    addSlider(table, 1, "Threshold _smooth (%):", v.thresholdSmooth, StandIn::doubleFromFixed(smooth.u.fd.slider_min),
              StandIn::doubleFromFixed(smooth.u.fd.slider_max), 1, G_CALLBACK(onDoubleChanged), &v.thresholdSmooth,
              dialog.preview);
    addSlider(table, 2, "_Exposure (%):", v.exposure, StandIn::doubleFromFixed(exposure.u.fd.slider_min),
              StandIn::doubleFromFixed(exposure.u.fd.slider_max), 1, G_CALLBACK(onDoubleChanged), &v.exposure,
              dialog.preview);
    addSlider(table, 3, "Shine _length (px):", v.shineLength, shine.u.sd.slider_min, shine.u.sd.slider_max, 0,
              G_CALLBACK(onIntChanged), &v.shineLength, dialog.preview);

    const std::vector<std::string> choices = Gimp::qualityChoices(renderer.declared());
    GtkWidget* quality = gimp_int_combo_box_new(choices[0].c_str(), 1, choices[1].c_str(), 2, choices[2].c_str(), 3,
                                                nullptr);
    gimp_int_combo_box_set_active(GIMP_INT_COMBO_BOX(quality), v.quality);
    gimp_table_attach_aligned(GTK_TABLE(table), 0, 4, "_Quality:", 0.0, 0.5, quality, 2, FALSE);
    g_signal_connect(quality, "changed", G_CALLBACK(onQualityChanged), &v.quality);
    g_signal_connect_swapped(quality, "changed", G_CALLBACK(gimp_preview_invalidate), dialog.preview);

    dialog.centerX = addCenterSpin(table, 5, "Center _X (px):", v.centerX, &v.centerX, dialog.preview);
    dialog.centerY = addCenterSpin(table, 6, "Center _Y (px):", v.centerY, &v.centerY, dialog.preview);

    GtkWidget* rayOnly = gtk_check_button_new_with_mnemonic("_Ray Only");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(rayOnly), v.rayOnly);
    gtk_table_attach(GTK_TABLE(table), rayOnly, 0, 3, 7, 8, GTK_FILL, GTK_FILL, 0, 0);
    g_signal_connect(rayOnly, "toggled", G_CALLBACK(onRayOnlyToggled), &v.rayOnly);
    g_signal_connect_swapped(rayOnly, "toggled", G_CALLBACK(gimp_preview_invalidate), dialog.preview);

    gtk_widget_show_all(window);
    const bool ok = gimp_dialog_run(GIMP_DIALOG(window)) == GTK_RESPONSE_OK;
    gtk_widget_destroy(window);
    if (ok) {
        values = dialog.values;
    }
    return ok;
}

// --- the procedure ------------------------------------------------------------------------------------

void query()
{
    static GimpParamDef arguments[] = {
        {GIMP_PDB_INT32, text("run-mode"), text("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
        {GIMP_PDB_IMAGE, text("image"), text("Input image")},
        {GIMP_PDB_DRAWABLE, text("drawable"), text("Input drawable (an RGB or RGBA layer)")},
        {GIMP_PDB_FLOAT, text("threshold"), text("How much of the layer shines, per cent (0 to 100): pixels brighter than 100 - threshold per cent shine")},
        {GIMP_PDB_FLOAT, text("threshold-smooth"), text("Softness of the threshold, per cent (0 to 100)")},
        {GIMP_PDB_FLOAT, text("center-x"), text("Ray centre, x in image pixels (may lie outside the layer)")},
        {GIMP_PDB_FLOAT, text("center-y"), text("Ray centre, y in image pixels (may lie outside the layer)")},
        {GIMP_PDB_INT32, text("shine-length"), text("Length of the shafts in pixels (0 to 2048)")},
        {GIMP_PDB_FLOAT, text("exposure"), text("Brightness of the shafts, per cent (0 to 100: 0 to 4 stops)")},
        {GIMP_PDB_INT32, text("quality"), text("Quality { HIGH (1), MEDIUM (2), LOW (3) }")},
        {GIMP_PDB_INT32, text("ray-only"), text("Output the shafts alone { FALSE (0), TRUE (1) }")},
    };
    gimp_install_procedure(kProcedure, "Light shafts streaming from a centre through the bright parts of the layer",
                           "The bright parts of the layer (the more the higher the threshold) are smeared outward along straight "
                           "rays from the centre and screened over the layer, or shown alone. The whole layer shines "
                           "into a selection; only the selection is changed. Rendered by the Ostrel Solvane effect "
                           "with OpenGL. Works on RGB and RGBA layers of every precision.",
                           "Ostrel Solvane", "Ostrel Solvane", "2026", "Light Shafts (Ostrel Solvane)...", "RGB*",
                           GIMP_PLUGIN, G_N_ELEMENTS(arguments), 0, arguments, nullptr);
    gimp_plugin_menu_register(kProcedure, "<Image>/Filters/Light and Shadow/Light");
}

GimpPDBStatusType runProcedure(gint nparams, const GimpParam* param, std::string& message)
{
    const auto mode = static_cast<GimpRunMode>(param[0].data.d_int32);
    const gint32 image = param[1].data.d_image;
    const gint32 drawable = param[2].data.d_drawable;
    if (!gimp_item_is_valid(drawable) || !gimp_item_is_drawable(drawable)) {
        message = "Light Shafts needs a layer to work on";
        return GIMP_PDB_CALLING_ERROR;
    }
    // The image types of the registration only gate the menus: a script can call it on any drawable, and GIMP
    // refuses some writes (groups, locked pixels) only when the result is merged, after all the work.
    message = unwritable(drawable);
    if (!message.empty()) {
        return GIMP_PDB_EXECUTION_ERROR;
    }
    if (mode == GIMP_RUN_NONINTERACTIVE && nparams != 11) {
        message = "plug-in-ostrel-solvane takes 11 arguments";
        return GIMP_PDB_CALLING_ERROR;
    }

    gegl_init(nullptr, nullptr);
    Gimp::ShaftRenderer renderer(Gimp::ShaftRenderer::defaultPluginPath());
    const LayerPlace layer = placeOf(drawable);
    ShaftValues values = ShaftValues::declaredDefaults(renderer.declared(), layer);
    KeptValues kept{};
    const bool haveKept = gimp_get_data_size(kProcedure) == sizeof kept && gimp_get_data(kProcedure, &kept);

    switch (mode) {
    case GIMP_RUN_INTERACTIVE:
        if (haveKept) {
            values = restore(kept, layer, renderer);
        }
        if (!runDialog(renderer, drawable, values)) {
            return GIMP_PDB_CANCEL;
        }
        break;
    case GIMP_RUN_NONINTERACTIVE:
        values.threshold = param[3].data.d_float;
        values.thresholdSmooth = param[4].data.d_float;
        values.centerX = param[5].data.d_float;
        values.centerY = param[6].data.d_float;
        values.shineLength = param[7].data.d_int32;
        values.exposure = param[8].data.d_float;
        values.quality = param[9].data.d_int32;
        if (param[10].data.d_int32 != 0 && param[10].data.d_int32 != 1) {
            message = "ray-only must be 0 or 1";
            return GIMP_PDB_CALLING_ERROR;
        }
        values.rayOnly = param[10].data.d_int32 == 1;
        break;
    case GIMP_RUN_WITH_LAST_VALS:
        if (haveKept) {
            values = restore(kept, layer, renderer);
        }
        break;
    }
    const std::string problem = values.problem(renderer.declared(), layer);
    if (!problem.empty()) {
        message = "Light Shafts: " + problem;
        return GIMP_PDB_CALLING_ERROR;
    }

    applyToLayer(renderer, image, drawable, values);
    if (mode != GIMP_RUN_NONINTERACTIVE) {
        gimp_displays_flush();
    }
    kept = keep(values, layer);
    gimp_set_data(kProcedure, &kept, sizeof kept);
    return GIMP_PDB_SUCCESS;
}

void run(const gchar*, gint nparams, const GimpParam* param, gint* nreturn_vals, GimpParam** return_vals)
{
    static GimpParam values[2];
    static std::string message;
    message.clear();
    GimpPDBStatusType status = GIMP_PDB_EXECUTION_ERROR;
    if (nparams < 3) {
        status = GIMP_PDB_CALLING_ERROR;
        message = "plug-in-ostrel-solvane takes 11 arguments";
    } else {
        try {
            status = runProcedure(nparams, param, message);
        } catch (const std::bad_alloc&) {
            message = "Light Shafts: not enough memory for this layer";
        } catch (const std::exception& e) {
            message = std::string("Light Shafts: ") + e.what();
        } catch (...) {
            message = "Light Shafts: an unexpected failure";
        }
    }
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = status;
    *nreturn_vals = 1;
    *return_vals = values;
    if (!message.empty()) {
        // GIMP shows the message of a failed procedure to the user, or hands it to the calling script.
        values[1].type = GIMP_PDB_STRING;
        values[1].data.d_string = const_cast<gchar*>(message.c_str());
        *nreturn_vals = 2;
    }
}

} // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

MAIN()
