#pragma once
// The pixel image readers as rows of the import chooser, and the setup a picture Document gets.
#include <string>
#include <string_view>
#include <vector>

#include "images/picture.h"
#include "model/chooser.h"
#include "model/setup.h"

namespace trazel::images {

// Rows 4-10 of the chooser, in order: BMP, PCX, GIF, the JPEG decliner, TIFF, FITS, text-header; row 19
// the DVI page and row 22 DICOM.
void register_image_readers(model::FormatTable& t);

// The Setup directives of a Document that holds only pictures: extents, grid, modes, named grids (older
// dialect) and one Layer line per entry of the system palette ("-y243:00FFFFFF,00010101,7,243,Gray 15").
std::vector<std::string> pixel_setup_lines();
// Applies them to `s`.
void install_pixel_setup(model::Setup& s);

// A picture file through the pixel readers alone, tried in chooser order (a JPEG file is refused by
// name).  False with `error` set when no reader takes the file or its decoder fails.
bool decode_picture(model::LineReader& in, Picture& out, DecodeError& error);

// What a reader row does once its decoder has run: the picture goes into a slot (a replaced picture is
// reported) and a Document without a layer 0 name gets the pixel setup.  Returns 'B'; on a decode
// failure reports "<file name>: <message>" and returns 0 with the slots untouched.
char place_picture(bool decoded, Picture& p, const DecodeError& error, std::string_view file);

} // namespace trazel::images
