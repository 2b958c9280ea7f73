#pragma once
// What the picture decoder harnesses share: the bytes offered to a decoder, which either refuses with a
// message or gives a picture laid out as the pixel image block stores it (and `extra` holds for it).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "images/picture.h"
#include "model/line_reader.h"

namespace fuzz_picture {

using namespace trazel;

inline bool laid_out(const images::Picture& p) {
    return p.width > 0 && p.height > 0 && p.row_length >= p.width &&
           (p.bits == 8 || p.bits == 16 || p.bits == 24) &&
           p.pixels.size() == p.row_bytes() * static_cast<size_t>(p.height);
}

template <class Extra>
void expect_picture_or_message(std::string_view bytes, bool (*decode)(model::LineReader&, images::Picture&,
                                                                      images::DecodeError&),
                               const char* what, Extra&& extra) {
    model::LineReader in;
    in.open_memory(bytes);
    images::Picture p;
    images::DecodeError error;
    bool ok = decode(in, p, error);
    bool one_line = error.message.find('\n') == std::string::npos;
    if ((ok && (!laid_out(p) || !extra(p))) || (!ok && error.message.empty()) || !one_line) {
        std::fprintf(stderr, "%s: a picture that does not match its sizes, a silent refusal or a message of "
                             "several lines\n",
                     what);
        std::abort();
    }
}

inline void expect_picture_or_message(std::string_view bytes, bool (*decode)(model::LineReader&, images::Picture&,
                                                                             images::DecodeError&),
                                      const char* what) {
    expect_picture_or_message(bytes, decode, what, [](const images::Picture&) { return true; });
}

} // namespace fuzz_picture
