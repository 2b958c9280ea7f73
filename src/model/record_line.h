#pragma once
// One Item record line as the Data file and the version 3.8 file write it: a kind character, fields
// each followed by a blank, the layer as a number or (in libraries) its symbol, the Signal name last,
// trailing blanks dropped, CR LF.  The two writers differ only in their number forms.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "model/model.h"
#include "model/numbers.h"
#include "model/out_buffer.h"

namespace trazel::model {

struct RecordLineWriter {
    OutBuffer& out;
    bool library = false; // layers written by their symbols
    std::string line;
    std::array<std::array<char, 4>, 256> layer_text{};
    std::array<uint8_t, 256> layer_len{};

    explicit RecordLineWriter(OutBuffer& o) : out(o) {
        line.reserve(256);
    }

    void prepare_layers() {
        for (int l = 0; l < 256; ++l) {
            std::string sym = library ? LayerSymbol(l) : std::string();
            char* b = layer_text[static_cast<size_t>(l)].data();
            if (!sym.empty() && sym.size() <= 4) {
                std::memcpy(b, sym.data(), sym.size());
                layer_len[static_cast<size_t>(l)] = static_cast<uint8_t>(sym.size());
            } else {
                layer_len[static_cast<size_t>(l)] = static_cast<uint8_t>(write_int(b, l) - b);
            }
        }
    }
    void start(char kind) {
        line.clear();
        line.push_back(kind);
        line.push_back(' ');
    }
    void i(int64_t v) {
        char b[24];
        line.append(b, write_int(b, v));
        line.push_back(' ');
    }
    void layer(uint8_t l) {
        line.append(layer_text[l].data(), layer_len[l]);
        line.push_back(' ');
    }
    void signal_of(Ref item) {
        Ref s = item_signal(item);
        if (s == kNone) {
            return;
        }
        const unsigned char* b = node(s).bytes();
        for (int k = 0; k < kChainBytes && b[k] != 0 && b[k] != 0xFF; ++k) {
            line.push_back(static_cast<char>(b[k]));
        }
    }
    void end_line() {
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        line.append("\r\n");
        out.put(line);
    }
};

} // namespace trazel::model
