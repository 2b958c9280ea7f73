// The log service and the logged Net scan.
#include "nets/netlog.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "edit/area.h"
#include "edit/undo.h"
#include "model/out_buffer.h"
#include "nets/checks.h"
#include "nets/netscan.h"
#include "nets/ratnest.h"
#include "nets/trace.h"

namespace trazel::nets {

using model::node;

namespace {

constexpr int kLogWidth = 79;
constexpr size_t kTargetColumn = 24, kMessageColumn = 48;

std::string_view without_trailing_blanks(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

void pad_to(std::string& s, size_t column) {
    if (s.size() < column) {
        s.append(column - s.size(), ' ');
    } else if (!s.empty() && s.back() != ' ') {
        s += ' '; // an overlong field still stays apart from the next one
    }
}

std::string two_digits(int v) {
    v = ((v % 100) + 100) % 100;
    return {static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
}

} // namespace

// --- The log file -------------------------------------------------------------------------------

Log::Log() = default;
Log::~Log() = default;
Log::Log(Log&&) noexcept = default;
Log& Log::operator=(Log&&) noexcept = default;

std::string title_line(std::string_view title, std::string_view doc_name, int width, const std::tm& date) {
    std::string l(title);
    size_t date_at = width > 8 ? static_cast<size_t>(width - 8) : 0;
    if (!doc_name.empty()) {
        size_t start = l.size() + 1;
        if (date_at >= l.size() + doc_name.size() + 2) {
            start = l.size() + (date_at - l.size() - doc_name.size()) / 2;
        }
        pad_to(l, start);
        l += doc_name;
    }
    pad_to(l, std::max(date_at, l.empty() ? 0 : l.size() + 1));
    l += two_digits(date.tm_mon + 1) + "/" + two_digits(date.tm_mday) + "/" + two_digits(date.tm_year);
    return l;
}

bool Log::open(const std::string& path, std::string_view title, std::string_view doc_name, int width, std::tm date) {
    out_.reset();
    error_.clear();
    auto out = std::make_unique<model::OutBuffer>();
    if (out->open(path)) {
        out_ = std::move(out);
    } else {
        error_ = out->error();
    }
    line(title_line(title, doc_name, width, date));
    return out_ != nullptr;
}

void Log::line(std::string_view text) {
    std::string_view l = without_trailing_blanks(text);
    if (out_) {
        out_->put(l);
        out_->put("\r\n");
    }
    if (echo) {
        echo(l);
    }
}

void Log::raw(std::string_view text) {
    if (out_) {
        out_->put(text);
    }
}

bool Log::close() {
    if (!out_) {
        return false;
    }
    bool ok = out_->commit();
    if (!ok) {
        error_ = out_->error();
    }
    out_.reset();
    return ok;
}

std::tm log_date() {
    std::tm out{};
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != 0) {
        char* end = nullptr;
        errno = 0;
        long long v = std::strtoll(epoch, &end, 10);
        if (errno == 0 && end != nullptr && *end == 0 && v >= 0) {
            std::time_t t = static_cast<std::time_t>(v);
            if (gmtime_r(&t, &out) != nullptr) {
                return out;
            }
        }
        // A value that is no time leaves the clock in charge.
    }
    std::time_t now = std::time(nullptr);
    localtime_r(&now, &out);
    return out;
}

std::string log_path(const model::Document& doc) {
    return doc.name() + ".LOG";
}

std::string summary_line(const ScanSummary& r) {
    std::string s = std::to_string(r.nets) + " net" + (r.nets == 1 ? "" : "s") + " scanned, ";
    s += r.errors == 0 ? std::string("no") : std::to_string(r.errors);
    s += std::string(" error") + (r.errors == 1 ? "" : "s") + " detected.";
    return s;
}

// --- The logged scan ----------------------------------------------------------------------------

namespace {

// One scan over the Document: the log lines, the walk order for the lines that list marked pads, and
// the per-net steps.
class LoggedScan {
  public:
    LoggedScan(NetState& s, Log& log) : s_(s), doc_(*s.doc), log_(log) {
    }

    ScanSummary run() {
        log_.line(std::string(kLogWidth, '-'));
        log_.line("SOURCE SIGNAL           TARGET SIGNAL           WARNING/ERROR MESSAGE");
        log_.line(std::string(kLogWidth, '-'));
        log_.line("");
        std::map<Ref, Ref> firsts = first_pads(doc_);
        find_old_ratnest(firsts);
        model::Model& m = model::M();
        for (Ref sig = node(m.signals).link; sig != model::kNone && sig != m.signals_end; sig = node(sig).link) {
            auto it = firsts.find(sig);
            if (it == firsts.end()) {
                continue; // no Pad carries it: not a net of this Document
            }
            ++sum_.nets;
            delete_old_ratnest(sig);
            if (!scan_net(sig, it->second)) {
                sum_.interrupted = true;
                break;
            }
            clear_marks(s_);
        }
        if (!sum_.interrupted) {
            clear_marks(s_);
        }
        Clearances c = clearances_of(doc_.setup);
        log_.line("");
        log_.line("Minimum NetScan Clearance Parameters");
        log_.line("Line to Line: " + inches3(c.line_line) + "\"");
        log_.line("Line to Pad:  " + inches3(c.line_pad) + "\"");
        log_.line("Pad to Pad:   " + inches3(c.pad_pad) + "\"");
        log_.line("");
        log_.line(summary_line(sum_));
        log_.raw("\f");
        return sum_;
    }

  private:
    // One error line: the net's Signal, the target column, the message.
    void error(std::string_view target, std::string_view message) {
        std::string l = net_name_;
        pad_to(l, kTargetColumn);
        l += target;
        pad_to(l, kMessageColumn);
        l += message;
        log_.line(l);
        ++sum_.errors;
    }

    // A scan run twice must not stack its Ratnest lines: a Signal's old lines go before it is scanned.
    // They are gathered in one walk, so a board full of them does not cost a walk per Signal.
    void find_old_ratnest(const std::map<Ref, Ref>& firsts) {
        for (Ref r : model::items_in(doc_.ring())) {
            const model::Node& n = node(r);
            uint8_t k = n.item_kind();
            if ((k == model::kLine || k == model::kArc) && n.layer == kRatnestLayer && !n.hidden()) {
                Ref sig = model::item_signal(r);
                if (sig != model::kNone && firsts.count(sig) != 0) {
                    old_ratnest_[sig].push_back(r);
                }
            }
        }
    }
    void delete_old_ratnest(Ref sig) {
        auto it = old_ratnest_.find(sig);
        if (it == old_ratnest_.end()) {
            return;
        }
        model::Box area;
        for (Ref r : it->second) {
            if (s_.display != nullptr) {
                area.add(edit::item_area(r));
            }
            edit::RecordDeleted(doc_, r, s_.undo_number++);
            index_removed(s_, r);
        }
        doc_.mark_modified();
        if (s_.display != nullptr) {
            edit::redraw_region(*s_.display, doc_, area);
        }
        old_ratnest_.erase(it);
    }

    // Calls f for every marked Pad, in walk order; from `from` on in the list of marked Items when the
    // index method keeps that list.
    template <class F> void marked_pads(size_t from, F&& f) {
        if (s_.plain) {
            model::walk_tree(doc_.ring(), [&](Ref r, int) {
                const model::Node& n = node(r);
                if (n.item_kind() == model::kPad && n.marked()) {
                    f(r);
                }
            });
            return;
        }
        std::vector<Ref> pads;
        for (size_t i = from; i < s_.marked.size(); ++i) {
            Ref r = s_.marked[i];
            if (node(r).item_kind() == model::kPad && node(r).marked()) {
                pads.push_back(r);
            }
        }
        const NetIndex& index = net_index(s_);
        std::sort(pads.begin(), pads.end(), [&](Ref a, Ref b) { return index.place(a) < index.place(b); });
        for (Ref r : pads) {
            f(r);
        }
    }

    // Steps 4 and 5 after a trace: false when the net is crosslinked (its scan ends there).
    bool linked_pads_ok(size_t from) {
        if (s_.crosslink_pad != model::kNone) {
            Ref other = model::item_signal(s_.crosslink_pad);
            if (other == net_) {
                other = s_.current_signal; // the trace began on another Signal's copper
            }
            error(model::signal_name(other), "Crosslinked to " + pad_name(doc_, s_.crosslink_pad) + " -- DRC aborted");
            return false;
        }
        if (s_.unsignaled_pad != model::kNone) {
            marked_pads(from, [&](Ref p) {
                const model::Node& n = node(p);
                int shape = shape_code(n);
                if (model::item_signal(p) == model::kNone && (shape == 1 || shape == 2) && reported_.insert(p).second) {
                    error("", "Linked to unsignaled " + pad_name(doc_, p));
                }
            });
        }
        return true;
    }

    // The marked Pad a new Ratnest line starts at: the first in walk order whose centre is there.
    Ref marked_pad_at(Point p) {
        Ref found = model::kNone;
        auto take = [&](Ref r) {
            const model::Node& n = node(r);
            if (found == model::kNone && n.item_kind() == model::kPad && n.marked() && !n.hidden() && n.pad.x0 == p.x &&
                n.pad.y0 == p.y) {
                found = r;
            }
        };
        if (!s_.plain) {
            net_index(s_).visit(p.x, p.y, p.x, p.y, take);
        } else {
            model::walk_tree(doc_.ring(), [&](Ref r, int) { take(r); });
        }
        return found;
    }

    // The line for the Ratnest line next_rat_line just added to `pad`.
    void discontinuity(Ref pad) {
        const model::Node& u = node(pad);
        Ref line = model::last_item(doc_.ring());
        std::string from;
        if (line != model::kNone && node(line).item_kind() == model::kLine && node(line).layer == kRatnestLayer &&
            node(line).line.x2 == u.pad.x0 && node(line).line.y2 == u.pad.y0) {
            Point start{node(line).line.x1, node(line).line.y1};
            Ref at = marked_pad_at(start);
            from = at != model::kNone ? pad_name(doc_, at) : point_text(doc_, start);
        } else {
            from = point_text(doc_, Point{u.pad.x0, u.pad.y0}); // no line could be made
        }
        error("", "Discontinuity from " + from + " to " + pad_name(doc_, pad));
    }

    void finding(const Finding& f) {
        auto line_text = [&](Ref l) {
            const model::Node& n = node(l);
            return "line " + point_text(doc_, Point{n.line.x1, n.line.y1}) + "," +
                   point_text(doc_, Point{n.line.x2, n.line.y2});
        };
        auto target_signal = [&] { return model::signal_name(model::item_signal(f.target)); };
        switch (f.kind) {
        case FindingKind::DuplicatePad:
            // The duplicate is still in the Document while the report runs.
            error(pad_name(doc_, f.target), "Duplicate pad deleted at " + point_text(doc_, f.at));
            break;
        case FindingKind::DrillInterference:
            error(pad_name(doc_, f.target), "Drill hole interference at " + point_text(doc_, f.at));
            break;
        case FindingKind::LineToLine:
            error(target_signal(), "Clearance from " + line_text(f.source) + " to " + line_text(f.target));
            break;
        case FindingKind::LineToPad:
            error(target_signal(), "Clearance from " + line_text(f.source) + " to " + pad_name(doc_, f.target));
            break;
        case FindingKind::PadToLine:
            error(target_signal(), "Clearance from " + pad_name(doc_, f.source) + " to " + line_text(f.target));
            break;
        case FindingKind::PadToPad:
            error(target_signal(), "Clearance from " + pad_name(doc_, f.source) + " to " + pad_name(doc_, f.target));
            break;
        }
    }

    // Steps 2 to 7 for one net; false when a trace or the clearance check ended the whole scan.
    bool scan_net(Ref sig, Ref first) {
        net_ = sig;
        net_name_ = model::signal_name(sig);
        reported_.clear();
        clear_marks(s_);
        s_.crosslink_pad = s_.unsignaled_pad = model::kNone;
        if (trace_from_pad(s_, first) != TraceResult::Done) {
            return false;
        }
        size_t seen = 0;
        while (true) {
            // Every trace-on looks for crosslinks and unknown pins again: a short reached across a
            // discontinuity is reported, and the checks never run on two nets as one.
            if (!linked_pads_ok(seen)) {
                return true;
            }
            propagate_signal(s_, net_);
            seen = s_.marked.size();
            Ref pad = next_rat_line(s_);
            if (pad == model::kNone) {
                break;
            }
            discontinuity(pad);
            s_.crosslink_pad = s_.unsignaled_pad = model::kNone;
            if (trace_from_pad(s_, pad) != TraceResult::Done) {
                return false;
            }
        }
        auto report = [this](const Finding& f) {
            finding(f);
            return true;
        };
        check_drill_holes(s_, report);
        return check_clearances(s_, clearances_of(doc_.setup), report) >= 0;
    }

    NetState& s_;
    model::Document& doc_;
    Log& log_;
    ScanSummary sum_;
    Ref net_ = model::kNone;
    std::string net_name_;
    std::set<Ref> reported_;                      // unsignaled pads already listed for this net
    std::map<Ref, std::vector<Ref>> old_ratnest_; // per Signal, gathered before the first net
};

} // namespace

ScanSummary write_net_scan_log(NetState& s, Log& log) {
    return LoggedScan(s, log).run();
}

} // namespace trazel::nets
