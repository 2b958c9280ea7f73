#pragma once
// The File group (file_group.cpp) and the pieces of it other rooms use.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trazel {
struct App;
}
namespace trazel::model {
struct Document;
}

namespace trazel::shell {

int file_group(App& app, uint16_t code, Source source);
// The frame every File command runs in: the cross-hair down and what hangs on the cursor cancelled
// before, the cross-hair back after.  Single File codes registered by other rooms use it too.
int file_command(App& app, const std::function<int(App&)>& body);

// File group pieces others use: the template folder and its templates of one extension ("Size_NAME.ext"
// gives NAME), a new Document from a template, save and save as of the current Document.
std::string template_dir(const App& app);
std::vector<std::string> template_names(const std::string& dir, std::string_view ext);
int new_from_template(App& app, const std::string& path, std::string_view ext);
int file_save(App& app);
int file_save_as(App& app);
// A Document made from a template has no file of its own yet (its outputs cannot be named after it).
bool has_no_file(const model::Document& d);
// After a successful save: recent lists, modified flags cleared, undo purge, title.
void finish_save(App& app, model::Document& d);

} // namespace trazel::shell
