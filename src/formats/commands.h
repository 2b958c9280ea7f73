#pragma once
// How the foreign-format readers hang into the App: FD (include photoplots and drill files).
namespace trazel {
struct App;
}

namespace trazel::formats {

void install_formats(App& app);

} // namespace trazel::formats
