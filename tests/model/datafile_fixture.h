#pragma once
// A fresh model with one Document, the model's file formats and a recording headless platform.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "model/chooser.h"
#include "model/datafile.h"
#include "model/model.h"
#include "platform/headless.h"

namespace datafile_test {

using namespace trazel::model;

struct DataFileTest : ::testing::Test {
    Model m;
    Document* d = nullptr;
    FormatTable formats;
    trazel::platform::Headless ui;

    void SetUp() override {
        trazel::platform::install(&ui);
        register_model_formats(formats);
        d = NewDocument("test.pcb");
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override {
        trazel::platform::install(nullptr);
    }

    Ref ring() const {
        return d->ring();
    }
    // Reads `text` into a fresh Document (the old one is closed) and returns the format code.
    char read(std::string_view text, char forced = 0, std::string_view name = "test.pcb") {
        close_document(d);
        d = NewDocument(name);
        return open_document_bytes(formats, text, forced);
    }
    std::string write(char code = 'C') {
        std::string out;
        EXPECT_TRUE(save_document_bytes(formats, out, code));
        return out;
    }
    // The Item records of a written file: the lines between the captions and the empty line before
    // "END OF FILE".
    static std::vector<std::string> records(const std::string& file) {
        std::vector<std::string> v;
        size_t at = file.find("Line: 1 layer width X1 Y1 X2 Y2 signal\r\n");
        if (at == std::string::npos) {
            return v;
        }
        at = file.find("\r\n", at) + 2;
        size_t end = file.find("\r\nEND OF FILE\r\n", at);
        if (end == std::string::npos) {
            return v;
        }
        // `end` points at the CR LF that ends the empty line, so the last record ends at `end`.
        while (at < end) {
            size_t e = file.find("\r\n", at);
            v.push_back(file.substr(at, e - at));
            at = e + 2;
        }
        return v;
    }
    std::vector<Ref> items(Ref head) const {
        std::vector<Ref> v;
        for_each_item(head, [&](Ref r) { v.push_back(r); });
        return v;
    }
};

// The minimal file header a hand-written fixture needs.
inline std::string data_file(std::string_view body) {
    return "TRAZEL Version 4.0 -- Data File.\r\n" + std::string(body);
}

} // namespace datafile_test
