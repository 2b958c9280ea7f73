#pragma once
// The bare-board test netlist of a board in IPC-D-356A: header records, one 317 record per through-hole
// pad and 327 per surface pad (net, reference and pin, hole, access side, position, size, soldermask),
// alias records for long net names, and 999.
#include <string>
#include <string_view>

#include "model/model.h"

namespace trazel::cam {

struct Ipc356Options {
    bool mm = false; // UNITS CUST 1 (millimetres), otherwise CUST 0 (inches)
    std::string job; // the JOB record's name
};

// The whole file, 80-column records with CR LF line ends.
std::string ipc356_text(const model::Document& doc, const Ipc356Options& o);

} // namespace trazel::cam
