// The aperture macro parser and evaluator on arbitrary text: the input up to the first "%" is the
// macro body, what follows are the parameters ("0.5X1X-2").  Evaluation stays within its limits and
// every shape it gives is finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formats/aperture_macro.h"

using namespace trazel::formats;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('%');
    std::string body(input.substr(0, cut));
    std::vector<double> params;
    if (cut != std::string_view::npos) {
        std::string rest(input.substr(cut + 1));
        size_t p = 0;
        while (p < rest.size() && params.size() < 64) {
            size_t x = rest.find('X', p);
            std::string field = rest.substr(p, x == std::string::npos ? std::string::npos : x - p);
            double v = 0;
            evaluate_expression(field, {}, v);
            params.push_back(v);
            if (x == std::string::npos) {
                break;
            }
            p = x + 1;
        }
    }
    ApertureMacro m;
    m.parse(body);
    std::vector<MacroShape> shapes;
    m.evaluate(params, shapes);
    size_t points = 0;
    if (shapes.size() > ApertureMacro::kMaxShapes) {
        std::fprintf(stderr, "more shapes than the limit\n");
        std::abort();
    }
    for (const MacroShape& s : shapes) {
        points += s.pts.size();
        bool finite = std::isfinite(s.cx) && std::isfinite(s.cy) && std::isfinite(s.w) && std::isfinite(s.h) &&
                      std::isfinite(s.angle);
        for (const MacroPoint& pt : s.pts) {
            finite = finite && std::isfinite(pt.x) && std::isfinite(pt.y);
        }
        if (!finite) {
            std::fprintf(stderr, "a shape with a value that is not finite\n");
            std::abort();
        }
    }
    if (points > ApertureMacro::kMaxPoints) {
        std::fprintf(stderr, "more outline points than the limit\n");
        std::abort();
    }
    return 0;
}
