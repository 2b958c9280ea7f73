#pragma once
// The program's version, from the one place the build sets it.

namespace trazel::platform {

const char* program_version(); // "4.0.0"

} // namespace trazel::platform
