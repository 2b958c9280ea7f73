// S5, Image Rectification: pairs of points clicked on the current picture and where they belong, shown as
// marker Lines on the grab list; the right click finishes (or takes back a waiting source point), and
// four pairs or more straighten the picture in its slot.
#include <algorithm>
#include <string>
#include <vector>

#include "edit/commands.h"
#include "edit/grab.h"
#include "images/commands.h"
#include "images/rectify.h"
#include "platform/run_context.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::images {

namespace {

using model::Point;
using model::Ref;

constexpr uint16_t kRectify = shell::code('S', '5');
constexpr const char* kBoxTitle = "Image Ortho-rectification";
constexpr const char* kName = "Image Rectification";

// The prompts are status messages of this room: the source point prompts by ordinal (first to fourth,
// then next), and the target prompt.
constexpr int kMsgSource = 0xA51; // + ordinal - 1, up to 0xA55
constexpr int kMsgTarget = 0xA56;

struct Session {
    std::vector<ReferencePair> pairs;
    bool waiting = false; // a source point waits for its target
    Point source{};
};

Session& session(App& app) {
    return app.state<Session>();
}

void ensure_messages(App& app) {
    auto add = [&](int n, const std::string& text) {
        std::string key = shell::message_key(n);
        app.shell.messages[key] = key + " !" + text; // "!": the prompt stays until replaced
    };
    if (app.shell.messages.count(shell::message_key(kMsgTarget)) != 0) {
        return;
    }
    for (int k = 1; k <= 5; ++k) {
        add(kMsgSource + k - 1, std::string("Image Rectification:  Select ") + source_ordinal(k) + " source point.");
    }
    add(kMsgTarget, "Image Rectification:  Select target point.");
}

void prompt_source(App& app) {
    int next = static_cast<int>(session(app).pairs.size()) + 1;
    shell::show_message(app, kMsgSource + std::min(next, 5) - 1);
}

// The current picture's slot and header; -1 when there is none that can be drawn.
int current_picture(App& app, BlockHeader& h) {
    int s = app.model.current_image;
    if (s < 0 || s >= model::kImageSlots) {
        return -1;
    }
    const std::vector<uint8_t>& b = app.model.images[static_cast<size_t>(s)];
    if (b.empty() || !block_fault(b).empty() || !read_header(b, h)) {
        return -1;
    }
    return s;
}

// --- The markers: Lines of the grab list's own, shown for display only ------------------------------

edit::GrabList& grab(App& app) {
    return edit::editor(app).grab;
}

// A zero-length marker at `source`; false when no Node is left.
bool add_marker(App& app, Point source) {
    edit::GrabList& g = grab(app);
    if (g.empty() || g.function != kRectify || g.doc != app.doc()) {
        edit::drop_grab(app);
        edit::begin_grab(g, *app.doc(), source, kRectify);
        g.building = false;
    }
    Ref n = model::AllocNode();
    if (n == model::kNone) {
        return false;
    }
    model::Node& x = model::node(n);
    x = model::Node{};
    x.link = x.next = x.prev = model::kNone;
    x.kind = model::kLine;
    x.layer = static_cast<uint8_t>(app.doc()->setup.current_layer);
    x.size = 1; // a Line of width 0 would be a Solid
    x.line = model::LineFields{source.x, source.y, source.x, source.y, 0};
    edit::hide_grab(g, app.display);
    // The marker stands for itself: a companion is never moved or dropped, and abandoning the grab
    // releases it.
    g.index.emplace(n, g.entries.size());
    g.entries.push_back(edit::GrabEntry{n, n, edit::kGrabCompanion});
    edit::show_grab(g, app.display);
    return true;
}

// The last marker now runs from `target` to its source.
void set_target(App& app, Point target) {
    edit::GrabList& g = grab(app);
    if (g.empty()) {
        return;
    }
    edit::hide_grab(g, app.display);
    model::Node& x = model::node(g.entries.back().copy);
    x.line.x1 = target.x;
    x.line.y1 = target.y;
    edit::show_grab(g, app.display);
}

void remove_last_marker(App& app) {
    edit::GrabList& g = grab(app);
    if (g.empty()) {
        return;
    }
    edit::hide_grab(g, app.display);
    Ref n = g.entries.back().copy;
    g.index.erase(g.entries.back().real);
    g.entries.pop_back();
    model::ReleaseNode(n);
    if (g.empty()) {
        edit::clear_grab(g);
    } else {
        edit::show_grab(g, app.display);
    }
}

// Markers cleared, the function ended.
void end_rectify(App& app) {
    edit::GrabList& g = grab(app);
    if (!g.empty() && g.function == kRectify) {
        edit::abandon(g, app.display);
    }
    session(app) = Session{};
    shell::clear_function(app);
    app.shell.status.text.clear();
    shell::refresh_status_bar(app);
}

// --- The handlers ------------------------------------------------------------------------------------

int point_click(App& app) {
    Session& s = session(app);
    Point p = edit::cursor_point(app);
    if (app.doc() == nullptr) {
        shell::error_sound(app);
        return 1;
    }
    if (!s.waiting) {
        BlockHeader h;
        bool inside = current_picture(app, h) >= 0 && h.left <= p.x && p.x <= h.right && h.bottom <= p.y &&
                      p.y <= h.top;
        if (!inside || !add_marker(app, p)) {
            shell::error_sound(app);
            prompt_source(app);
            return 1;
        }
        s.waiting = true;
        s.source = p;
        shell::show_message(app, kMsgTarget);
        return 1;
    }
    set_target(app, p);
    s.pairs.push_back(ReferencePair{s.source, p});
    s.waiting = false;
    prompt_source(app);
    return 1;
}

int finish_click(App& app) {
    Session& s = session(app);
    if (s.waiting) {
        remove_last_marker(app);
        s.waiting = false;
        prompt_source(app);
        return 1;
    }
    if (s.pairs.empty()) {
        end_rectify(app);
        return 1;
    }
    if (s.pairs.size() < static_cast<size_t>(kMinimumPairs)) {
        platform::Answer a = shell::ask(app, too_few_pairs_text(static_cast<int>(s.pairs.size())), kBoxTitle,
                                        platform::Buttons::OkCancel);
        if (a == platform::Answer::Ok) {
            prompt_source(app);
        } else {
            end_rectify(app);
        }
        return 1;
    }
    BlockHeader h;
    int slot = current_picture(app, h);
    std::vector<ReferencePair> pairs = s.pairs;
    end_rectify(app);
    if (slot < 0) {
        shell::error_sound(app);
        return 1;
    }
    platform::RunContext run(app.platform());
    RectifyResult r = rectify(app.model.images[static_cast<size_t>(slot)], pairs, run);
    if (r.status != RectifyStatus::Done) {
        if (r.status != RectifyStatus::Cancelled) {
            shell::ask(app, r.message, kBoxTitle, platform::Buttons::Ok);
        }
        return 1;
    }
    app.model.images[static_cast<size_t>(slot)] = std::move(r.block);
    if (model::Document* d = app.doc()) {
        d->mark_modified(); // the picture is saved with the Document
    }
    shell::redraw(app);
    return 1;
}

int rectify_command(App& app, uint16_t, shell::Source source) {
    ensure_messages(app);
    if (app.doc() == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    edit::drop_grab(app);
    session(app) = Session{};
    return edit::arm_click_function(app, source, point_click, finish_click, kName, kMsgSource);
}

} // namespace

void install_rectify(App& app) {
    shell::set_command_handler(app, kRectify, rectify_command);
}

} // namespace trazel::images
