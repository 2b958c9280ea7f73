#include "images/readers.h"

#include "images/block.h"
#include "platform/platform.h"

namespace trazel::images {

namespace {

using Accepts = bool (*)(std::string_view);
using Decode = bool (*)(model::LineReader&, Picture&, DecodeError&);

// One row per format, made from its recognition and decoder; a forced code makes every row decline.
template <Accepts accepts, Decode decode> struct Row {
    static bool accept(std::string_view head, char forced) {
        return forced == 0 && accepts(head);
    }
    static char read(model::LineReader& in, char forced) {
        if (forced != 0) {
            return 0;
        }
        Picture p;
        DecodeError error;
        bool ok = decode(in, p, error);
        return place_picture(ok, p, error, in.label());
    }
};

// JPEG pictures are not read: their reader declines every file, which then ends as text or a byte dump.
bool jpeg_accepts(std::string_view, char) {
    return false;
}

char jpeg_read(model::LineReader&, char) {
    return 0;
}

bool jpeg_file(std::string_view head) {
    return head.size() >= 3 && static_cast<unsigned char>(head[0]) == 0xFF &&
           static_cast<unsigned char>(head[1]) == 0xD8 && static_cast<unsigned char>(head[2]) == 0xFF;
}

struct Format {
    Accepts accepts;
    Decode decode;
};

// The chooser's order: rows 4-10, then 19 and 22.
constexpr Format kFormats[] = {
    {bmp_accepts, decode_bmp},   {pcx_accepts, decode_pcx},   {gif_accepts, decode_gif},
    {tiff_accepts, decode_tiff}, {fits_accepts, decode_fits}, {text_header_accepts, decode_text_header},
    {dvi_accepts, decode_dvi},   {dicom_accepts, decode_dicom},
};

} // namespace

bool decode_picture(model::LineReader& in, Picture& out, DecodeError& error) {
    std::string_view head = in.head();
    for (const Format& f : kFormats) {
        if (f.accepts(head)) {
            return f.decode(in, out, error);
        }
    }
    error.message = jpeg_file(head) ? "JPEG pictures are not read" : "not a picture this program reads";
    return false;
}

char place_picture(bool decoded, Picture& p, const DecodeError& error, std::string_view file) {
    std::string name = source_name(file);
    if (!decoded) {
        platform::P().report((name.empty() ? std::string("picture") : name) + ": " + error.message);
        return 0;
    }
    std::string note = std::move(p.note); // p is moved into its block below
    model::Model& m = model::M();
    bool replaced = false;
    int slot = take_slot(m, make_block(std::move(p), file), &replaced);
    if (replaced) {
        platform::P().report("All " + std::to_string(model::kImageSlots) +
                             " image slots are in use: the picture in slot " + std::to_string(slot) +
                             " is replaced by " + name);
    }
    if (!note.empty()) {
        platform::P().report(name + ": " + note);
    }
    if (m.current && static_cast<unsigned char>(m.current->setup.layers[0].name[0]) <= ' ') {
        install_pixel_setup(m.current->setup);
    }
    return 'B';
}

void register_image_readers(model::FormatTable& t) {
    using model::kOrderPixelFirst;
    register_reader(t, kOrderPixelFirst, "BMP picture", Row<bmp_accepts, decode_bmp>::accept,
                    Row<bmp_accepts, decode_bmp>::read);
    register_reader(t, kOrderPixelFirst + 1, "PCX picture", Row<pcx_accepts, decode_pcx>::accept,
                    Row<pcx_accepts, decode_pcx>::read);
    register_reader(t, kOrderPixelFirst + 2, "GIF picture", Row<gif_accepts, decode_gif>::accept,
                    Row<gif_accepts, decode_gif>::read);
    register_reader(t, kOrderPixelFirst + 3, "JPEG picture", jpeg_accepts, jpeg_read);
    register_reader(t, kOrderPixelFirst + 4, "TIFF picture", Row<tiff_accepts, decode_tiff>::accept,
                    Row<tiff_accepts, decode_tiff>::read);
    register_reader(t, kOrderPixelFirst + 5, "FITS picture", Row<fits_accepts, decode_fits>::accept,
                    Row<fits_accepts, decode_fits>::read);
    register_reader(t, kOrderPixelFirst + 6, "text-header picture",
                    Row<text_header_accepts, decode_text_header>::accept,
                    Row<text_header_accepts, decode_text_header>::read);
    register_reader(t, model::kOrderMorePixel, "DVI page", Row<dvi_accepts, decode_dvi>::accept,
                    Row<dvi_accepts, decode_dvi>::read);
    register_reader(t, model::kOrderDicom, "DICOM picture", Row<dicom_accepts, decode_dicom>::accept,
                    Row<dicom_accepts, decode_dicom>::read);
}

} // namespace trazel::images
