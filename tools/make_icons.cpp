// make_icons OUTDIR: the program icon for the desktop's icon theme, OUTDIR/<N>x<N>/apps/trazel.png for
// each size the hicolor theme is commonly asked for, drawn from the window icon's first frame.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/png_out.h"
#include "shell/heartbeat.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons OUTDIR\n");
        return 2;
    }
    for (int size : {16, 32, 48, 64, 128, 256}) {
        std::vector<uint32_t> px = trazel::shell::icon_frame(0, size);
        std::vector<uint8_t> rgba;
        rgba.reserve(px.size() * 4);
        for (uint32_t p : px) {
            rgba.push_back(static_cast<uint8_t>(p >> 16));
            rgba.push_back(static_cast<uint8_t>(p >> 8));
            rgba.push_back(static_cast<uint8_t>(p));
            rgba.push_back(static_cast<uint8_t>(p >> 24));
        }
        std::string n = std::to_string(size);
        std::filesystem::path dir = std::filesystem::path(argv[1]) / (n + "x" + n) / "apps";
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        std::string error;
        if (!trazel::cli::write_png_rgba((dir / "trazel.png").string(), size, size, rgba, &error)) {
            std::fprintf(stderr, "make_icons: %s: %s\n", (dir / "trazel.png").c_str(), error.c_str());
            return 1;
        }
    }
    return 0;
}
