// The open dialog's picture of a file.  The readers fill "the current Document", so the file goes into a
// Document made for the purpose and closed again; what making one disturbs (the current Document, the
// image slots it empties, the platform the readers talk to) is put back as it was.
#include "shell/file_preview.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "display/display.h"
#include "display/view.h"
#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"

namespace trazel::shell {

namespace {

// Only the Data file rows: the foreign readers ask questions, and a picture must not.
const model::FormatTable& data_file_rows() {
    static const model::FormatTable rows = [] {
        model::FormatTable all, t;
        model::register_model_formats(all);
        for (const model::ReaderRow& r : all.readers) {
            if (r.order <= model::kOrderVersion2) {
                t.readers.push_back(r);
            }
        }
        return t;
    }();
    return rows;
}

// Everything a Document made and closed beside the open ones would leave changed.
class ScratchDocument {
  public:
    ScratchDocument() : was_(model::M().current), image_(model::M().current_image), platform_(&platform::P()) {
        model::Model& m = model::M();
        std::swap(images_, m.images);
        platform::install(&quiet_);
        // A name no open Document has; the name is a pattern to FindDocument, so no wildcards in it.
        for (int k = 0; !doc_ && k < 100; ++k) {
            doc_ = model::NewDocument("preview " + std::to_string(k));
        }
    }
    ~ScratchDocument() {
        model::Model& m = model::M();
        if (doc_) {
            model::close_document(doc_);
        }
        m.current = was_;
        std::swap(images_, m.images);
        m.current_image = image_;
        platform::install(platform_);
    }
    ScratchDocument(const ScratchDocument&) = delete;
    ScratchDocument& operator=(const ScratchDocument&) = delete;

    model::Document* doc() const {
        return doc_;
    }

  private:
    model::Document* was_;
    int image_;
    platform::Platform* platform_;
    std::array<std::vector<uint8_t>, model::kImageSlots> images_;
    platform::Headless quiet_;
    model::Document* doc_ = nullptr;
};

} // namespace

std::vector<uint8_t> file_thumbnail(const std::string& path, int width, int height) {
    if (width < 1 || height < 1 || width > 4096 || height > 4096) {
        return {};
    }
    std::error_code ec;
    uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size == 0 || size > kMaxPreviewBytes) {
        return {};
    }
    ScratchDocument scratch;
    model::Document* doc = scratch.doc();
    if (!doc || model::OpenDocumentFile(data_file_rows(), path, 0) == 0) {
        return {};
    }

    // Drawn at 32 bits whatever the screen's depth: the layer pixels the reader made in the screen's
    // format are made again in this one.
    const display::PixelFormat format = display::format_for_depth(32);
    model::Setup& s = doc->setup;
    for (model::LayerEntry& e : s.layers) {
        e.pixel = display::colour_to_pixel(format, e.colour);
    }
    s.grid_pixel = display::colour_to_pixel(format, s.grid_colour);
    s.background_pixel = display::colour_to_pixel(format, s.background);
    s.highlight_pixel = display::colour_to_pixel(format, s.highlight);
    s.attention_pixel = display::colour_to_pixel(format, s.attention);

    display::Display d;
    display::set_pixel_format(d, format, nullptr);
    d.status_bar = false;
    const int pitch = width * 4;
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * static_cast<size_t>(height));
    display::PixelBuffer buf;
    buf.base = pixels.data();
    buf.pitch = pitch;
    buf.depth = 32;
    buf.width = width;
    buf.height = height;
    display::set_surface(d, buf, 0);

    model::Point a{s.ext_xmin, s.ext_ymin}, b{s.ext_xmax, s.ext_ymax};
    if ((a.x >= b.x || a.y >= b.y) && !display::items_extents(doc->ring(), a, b)) {
        a = {0, 0};
        b = {65536, 65536};
    }
    display::zoom_to_rect(d.view, a, b, d.view.area, false);
    if (!display::redraw(d, doc)) {
        return {};
    }
    return display::buffer_to_rgb(buf, d.format, d.palette, display::Rect{0, 0, height - 1, width - 1});
}

} // namespace trazel::shell
