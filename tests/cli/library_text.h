#pragma once
// Reads the component library files as text: entries, their member records and pads, and boards made
// by placing entries into a template.  The tests judge the files as a user's program would meet them,
// without the library lookup.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace lib_text {

// A length field: with a "." inches, without one thousandths of an inch.
inline double inches(const std::string& t) {
    double v = std::atof(t.c_str());
    return t.find('.') != std::string::npos ? v : v / 1000.0;
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') {
            l.pop_back();
        }
        out.push_back(l);
    }
    return out;
}

// A record split at blanks into at most `fields` parts; the last part keeps the rest of the line.
inline std::vector<std::string> split(const std::string& line, size_t fields = 64) {
    std::vector<std::string> f;
    size_t at = 0;
    while (at <= line.size() && f.size() + 1 < fields) {
        size_t sp = line.find(' ', at);
        if (sp == std::string::npos) {
            break;
        }
        f.push_back(line.substr(at, sp - at));
        at = sp + 1;
    }
    f.push_back(line.substr(at));
    return f;
}

inline bool is_record(const std::string& l) {
    return l.size() >= 2 && l[0] >= '0' && l[0] <= '7' && l[1] == ' ';
}

struct Entry {
    std::string opening;               // the "6 ..." record
    std::string name, ref, parameters; // parameters as written, 0x7F separators included
    std::vector<std::string> members;  // member records in file order, nested ones included
    std::string closing;               // the "0 6 ..." record
};

// The top-level Components of a Data file, in file order.
inline std::vector<Entry> entries(const std::string& text) {
    std::vector<Entry> out;
    int depth = 0;
    for (const std::string& l : lines_of(text)) {
        if (!is_record(l)) {
            continue;
        }
        if (l[0] == '6') {
            if (depth++ == 0) {
                Entry e;
                e.opening = l;
                e.parameters = split(l, 8).back();
                size_t sep = e.parameters.find('\x7F');
                e.name = e.parameters.substr(0, sep);
                if (sep != std::string::npos) {
                    e.ref = e.parameters.substr(sep + 1, e.parameters.find('\x7F', sep + 1) - sep - 1);
                }
                out.push_back(e);
                continue;
            }
        } else if (l[0] == '0' && depth > 0) {
            if (--depth == 0) {
                out.back().closing = l;
                continue;
            }
        }
        if (depth > 0) {
            out.back().members.push_back(l);
        }
    }
    return out;
}

inline const Entry* find(const std::vector<Entry>& all, const std::string& name) {
    for (const Entry& e : all) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

struct Pad {
    std::string layer, pin, signal;
    int type = 0;
    double x = 0, y = 0, w = 0, h = 0, hole = 0; // inches
};

inline std::vector<Pad> pads(const Entry& e) {
    std::vector<Pad> out;
    for (const std::string& l : e.members) {
        if (l[0] != '3') {
            continue;
        }
        std::vector<std::string> f = split(l);
        Pad p;
        p.layer = f.size() > 1 ? f[1] : "";
        p.type = f.size() > 2 ? std::atoi(f[2].c_str()) : -1;
        if (f.size() > 7) {
            p.x = inches(f[3]), p.y = inches(f[4]), p.w = inches(f[5]), p.h = inches(f[6]), p.hole = inches(f[7]);
        }
        p.pin = f.size() > 9 ? f[9] : "";
        p.signal = f.size() > 10 ? f[10] : "";
        out.push_back(p);
    }
    return out;
}

inline std::map<std::string, Pad> by_pin(const std::vector<Pad>& ps) {
    std::map<std::string, Pad> m;
    for (const Pad& p : ps) {
        m[p.pin] = p;
    }
    return m;
}

struct Text {
    std::string layer, text;
    double x = 0, y = 0;
};

inline std::vector<Text> texts(const Entry& e) {
    std::vector<Text> out;
    for (const std::string& l : e.members) {
        if (l[0] == '4') {
            std::vector<std::string> f = split(l, 10);
            if (f.size() == 10) {
                out.push_back(Text{f[1], f[9], inches(f[3]), inches(f[4])});
            }
        }
    }
    return out;
}

// Layers of the member records of one kind ('1' Line, '2' Arc, ...).
inline std::vector<std::string> layers_of(const Entry& e, char kind) {
    std::vector<std::string> out;
    for (const std::string& l : e.members) {
        if (l[0] == kind) {
            out.push_back(split(l)[1]);
        }
    }
    return out;
}

inline std::string fixed5(double inches_value) {
    char b[32];
    std::snprintf(b, sizeof b, "%.5f", inches_value);
    return b;
}

// One record moved by (dx, dy) inches; the Parameters and Text strings are kept as they are.
inline std::string translate(const std::string& rec, double dx, double dy) {
    size_t fields = rec[0] == '6' ? 8 : rec[0] == '4' ? 10 : 64;
    std::vector<std::string> f = split(rec, fields);
    std::vector<size_t> xs = {3}, ys = {4};
    if (rec[0] == '6' || (rec[0] == '1' && f.size() >= 7)) {
        xs.push_back(5), ys.push_back(6);
    }
    for (size_t i : xs) {
        f[i] = fixed5(inches(f[i]) + dx);
    }
    for (size_t i : ys) {
        f[i] = fixed5(inches(f[i]) + dy);
    }
    std::string out;
    for (size_t i = 0; i < f.size(); ++i) {
        out += (i ? " " : "") + f[i];
    }
    return out;
}

// The header of a board template, up to the item captions: its setup and layer table without its items.
inline std::string template_header(const std::string& text) {
    const std::string cap = "Line: 1 layer width X1 Y1 X2 Y2 signal\r\n";
    size_t at = text.find(cap);
    return at == std::string::npos ? std::string() : text.substr(0, at + cap.size());
}

struct Placed {
    const Entry* entry;
    double x, y; // where its hook point goes, inches
};

// A board: the template's header, then each entry moved to its place.
inline std::string board(const std::string& header, const std::vector<Placed>& parts) {
    std::string out = header;
    for (const Placed& p : parts) {
        out += translate(p.entry->opening, p.x, p.y) + "\r\n";
        for (const std::string& m : p.entry->members) {
            out += translate(m, p.x, p.y) + "\r\n";
        }
        out += translate(p.entry->closing, p.x, p.y) + "\r\n";
    }
    return out + "\r\nEND OF FILE\r\n";
}

} // namespace lib_text
