#include "resources/cmp_templates.h"

#include "resources/resources.h"

namespace trazel::resources {

namespace {

// One line of `text` from `pos` without its line end; `next` is where the following line starts.
std::string_view line_at(std::string_view text, std::size_t pos, std::size_t& next) {
    std::size_t end = text.find('\n', pos);
    next = end == std::string_view::npos ? text.size() : end + 1;
    std::string_view line = text.substr(pos, (end == std::string_view::npos ? text.size() : end) - pos);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace

std::string_view find_cmp_template(std::string_view table, std::string_view name) {
    std::size_t pos = 0;
    while (pos < table.size()) {
        std::size_t next = 0;
        std::string_view line = line_at(table, pos, next);
        pos = next;
        if (line.size() != name.size() + 2 || line.front() != '[' || line.back() != ']' ||
            line.substr(1, name.size()) != name) {
            continue;
        }
        std::size_t start = pos;
        while (pos < table.size()) {
            std::string_view body = line_at(table, pos, next);
            if (body.empty()) {
                break;
            }
            pos = next;
        }
        return table.substr(start, pos - start);
    }
    return {};
}

std::string_view cmp_template(std::string_view name) {
    if (name.empty()) {
        return {};
    }
    return find_cmp_template(text("cmp_templates"), name);
}

} // namespace trazel::resources
