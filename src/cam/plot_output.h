#pragma once
// One output file of the run: the writer's lines go through the shared output buffer into a temporary
// file that replaces the target only when all of it was written.
#include <string>

#include "cam/photoplot.h"
#include "model/out_buffer.h"

namespace trazel::cam {

class PlotFile {
  public:
    PlotFile() {
        out_.drain = [this](std::string_view s) {
            buffer_.put(s);
            return !buffer_.failed();
        };
    }
    PlotFile(const PlotFile&) = delete;
    PlotFile& operator=(const PlotFile&) = delete;

    bool open(const std::string& path) {
        return buffer_.open(path);
    }
    TextOut& out() {
        return out_;
    }
    // Writes the rest and puts the file in place; false (the target untouched) on any failure.
    bool commit() {
        if (!out_.flush()) {
            buffer_.abandon();
            return false;
        }
        return buffer_.commit();
    }
    std::string error() const {
        return buffer_.error().empty() ? std::string("the file could not be written") : buffer_.error();
    }

  private:
    model::OutBuffer buffer_;
    TextOut out_;
};

} // namespace trazel::cam
