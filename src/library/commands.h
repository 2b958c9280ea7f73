#pragma once
// How the library subsystem hangs into the App: SF (the library files of the current Document and the
// "Library Path" setting).
namespace trazel {
struct App;
}

namespace trazel::library {

void install_library(App& app);

} // namespace trazel::library
