#include "formats/aperture_macro.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace trazel::formats {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number without exponent; digits beyond 18 only scale the value, so no input overflows the
// mantissa.
bool read_number(std::string_view s, size_t& p, double& out) {
    uint64_t mant = 0;
    int digits = 0, scale = 0;
    bool any = false, point = false;
    for (; p < s.size(); ++p) {
        char c = s[p];
        if (is_digit(c)) {
            any = true;
            if (digits < 18) {
                mant = mant * 10 + static_cast<uint64_t>(c - '0');
                if (mant != 0) {
                    ++digits;
                }
                if (point) {
                    --scale;
                }
            } else if (!point) {
                ++scale;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) {
        return false;
    }
    out = static_cast<double>(mant) * std::pow(10.0, scale);
    return true;
}

bool fail(std::string* error, std::string why) {
    if (error) {
        *error = std::move(why);
    }
    return false;
}

void rotate(double& x, double& y, double deg) {
    if (deg == 0) {
        return;
    }
    double r = deg * std::numbers::pi / 180.0;
    double c = std::cos(r), s = std::sin(r);
    double nx = x * c - y * s, ny = x * s + y * c;
    x = nx;
    y = ny;
}

} // namespace

// Recursive descent over one expression, emitting postfix code.  Every level of parentheses and every
// unary sign counts against the depth limit, so no input can exhaust the stack.
struct ExprParser {
    std::string_view s;
    size_t p = 0;
    int depth = 0;
    std::vector<ApertureMacro::Instr>* code;
    int32_t* max_var;
    std::string why;

    using Op = ApertureMacro::Op;
    void emit(Op op, int32_t var = 0, double value = 0) {
        code->push_back({op, var, value});
    }
    bool expr() {
        if (!term()) {
            return false;
        }
        while (p < s.size() && (s[p] == '+' || s[p] == '-')) {
            char op = s[p++];
            if (!term()) {
                return false;
            }
            emit(op == '+' ? Op::Add : Op::Sub);
        }
        return true;
    }
    bool term() {
        if (!factor()) {
            return false;
        }
        while (p < s.size() && (s[p] == 'x' || s[p] == 'X' || s[p] == '/')) {
            char op = s[p++];
            if (!factor()) {
                return false;
            }
            emit(op == '/' ? Op::Div : Op::Mul);
        }
        return true;
    }
    bool factor() {
        if (++depth > ApertureMacro::kMaxDepth) {
            why = "expression nested too deeply";
            return false;
        }
        bool ok = factor_body();
        --depth;
        return ok;
    }
    bool factor_body() {
        if (p >= s.size()) {
            why = "expression ends early";
            return false;
        }
        char c = s[p];
        if (c == '+' || c == '-') {
            ++p;
            if (!factor()) {
                return false;
            }
            if (c == '-') {
                emit(Op::Neg);
            }
            return true;
        }
        if (c == '(') {
            ++p;
            if (!expr()) {
                return false;
            }
            if (p >= s.size() || s[p] != ')') {
                why = "missing )";
                return false;
            }
            ++p;
            return true;
        }
        if (c == '$') {
            ++p;
            int64_t n = 0;
            size_t start = p;
            while (p < s.size() && is_digit(s[p])) {
                n = n * 10 + (s[p] - '0');
                if (n > ApertureMacro::kMaxVariable) {
                    why = "variable number too large";
                    return false;
                }
                ++p;
            }
            if (p == start || n < 1) {
                why = "bad variable";
                return false;
            }
            if (n > *max_var) {
                *max_var = static_cast<int32_t>(n);
            }
            emit(Op::Var, static_cast<int32_t>(n));
            return true;
        }
        double v = 0;
        if (!read_number(s, p, v)) {
            why = "number expected";
            return false;
        }
        emit(Op::Const, 0, v);
        return true;
    }
};

bool ApertureMacro::parse_expr(std::string_view text, Expr& e, std::string* error) {
    ExprParser ep{text, 0, 0, &code_, &max_var_, {}};
    e.first = static_cast<uint32_t>(code_.size());
    bool ok = ep.expr();
    if (ok && ep.p != text.size()) {
        ok = false;
        ep.why = "unexpected character in expression";
    }
    if (!ok) {
        code_.resize(e.first);
        return fail(error, ep.why);
    }
    e.count = static_cast<uint32_t>(code_.size()) - e.first;
    return true;
}

double ApertureMacro::run(const Expr& e, std::vector<double>& vars) const {
    // The stack never holds more values than the expression has instructions.
    double stack[64];
    std::vector<double> big;
    double* st = stack;
    if (e.count > 64) {
        big.resize(e.count);
        st = big.data();
    }
    size_t sp = 0;
    for (uint32_t i = e.first; i < e.first + e.count; ++i) {
        const Instr& in = code_[i];
        switch (in.op) {
        case Op::Const:
            st[sp++] = in.value;
            break;
        case Op::Var:
            st[sp++] = static_cast<size_t>(in.var) <= vars.size() ? vars[static_cast<size_t>(in.var) - 1] : 0.0;
            break;
        case Op::Neg:
            st[sp - 1] = -st[sp - 1];
            break;
        default: {
            double b = st[--sp], a = st[sp - 1], r = 0;
            if (in.op == Op::Add) {
                r = a + b;
            } else if (in.op == Op::Sub) {
                r = a - b;
            } else if (in.op == Op::Mul) {
                r = a * b;
            } else {
                r = b == 0 ? 0 : a / b;
            }
            st[sp - 1] = r;
            break;
        }
        }
    }
    return sp == 1 ? st[0] : 0.0;
}

bool ApertureMacro::parse(std::string_view body, std::string* error) {
    size_t p = 0;
    while (p <= body.size()) {
        size_t end = body.find('*', p);
        if (end == std::string_view::npos) {
            end = body.size();
        }
        std::string_view st = body.substr(p, end - p);
        p = end + 1;
        if (st.empty()) {
            continue;
        }
        Statement s;
        s.first = static_cast<uint32_t>(exprs_.size());
        if (st[0] == '$') {
            size_t eq = st.find('=');
            int64_t n = 0;
            bool ok = eq != std::string_view::npos && eq > 1;
            for (size_t i = 1; ok && i < eq; ++i) {
                ok = is_digit(st[i]);
                n = n * 10 + (st[i] - '0');
                ok = ok && n <= kMaxVariable;
            }
            if (!ok || n < 1) {
                return fail(error, "bad assignment");
            }
            s.code = -1;
            s.target = static_cast<int32_t>(n);
            if (n > max_var_) {
                max_var_ = static_cast<int32_t>(n);
            }
            Expr e;
            if (!parse_expr(st.substr(eq + 1), e, error)) {
                return false;
            }
            exprs_.push_back(e);
            s.count = 1;
            statements_.push_back(s);
            continue;
        }
        size_t i = 0;
        int code = 0;
        while (i < st.size() && is_digit(st[i]) && code < 1000) {
            code = code * 10 + (st[i] - '0');
            ++i;
        }
        if (i == 0) {
            return fail(error, "primitive code expected");
        }
        if (code == 0) {
            continue; // a comment
        }
        if (i < st.size() && st[i] != ',') {
            return fail(error, "bad primitive code");
        }
        s.code = code;
        while (i < st.size()) {
            ++i; // the comma
            size_t next = st.find(',', i);
            if (next == std::string_view::npos) {
                next = st.size();
            }
            Expr e;
            if (!parse_expr(st.substr(i, next - i), e, error)) {
                return false;
            }
            exprs_.push_back(e);
            i = next;
        }
        s.count = static_cast<uint32_t>(exprs_.size()) - s.first;
        statements_.push_back(s);
    }
    return true;
}

bool ApertureMacro::evaluate(std::span<const double> params, std::vector<MacroShape>& out, std::string* error) const {
    std::vector<double> vars(static_cast<size_t>(max_var_), 0.0);
    for (size_t i = 0; i < params.size() && i < vars.size(); ++i) {
        vars[i] = params[i];
    }
    std::vector<double> v;
    size_t points = 0, shapes = 0;
    for (const Statement& s : statements_) {
        if (s.code < 0) {
            vars[static_cast<size_t>(s.target) - 1] = run(exprs_[s.first], vars);
            continue;
        }
        v.clear();
        for (uint32_t k = s.first; k < s.first + s.count; ++k) {
            double x = run(exprs_[k], vars);
            // Far beyond any real size, and small enough that sums and products of two stay finite.
            v.push_back(std::isfinite(x) ? std::clamp(x, -1e9, 1e9) : 0.0);
        }
        if (++shapes > kMaxShapes) {
            return fail(error, "too many primitives");
        }
        auto arg = [&](size_t k) { return k < v.size() ? v[k] : 0.0; };
        MacroShape m;
        m.exposure = arg(0) >= 0.5;
        switch (s.code) {
        case 1: // circle: exposure, diameter, centre, rotation
            if (v.size() < 4) {
                return fail(error, "circle needs 4 values");
            }
            m.kind = MacroShapeKind::Circle;
            m.w = m.h = std::fabs(arg(1));
            m.cx = arg(2);
            m.cy = arg(3);
            rotate(m.cx, m.cy, arg(4));
            break;
        case 2:
        case 20: { // vector line: exposure, width, start, end, rotation
            if (v.size() < 6) {
                return fail(error, "vector line needs 6 values");
            }
            double dx = arg(4) - arg(2), dy = arg(5) - arg(3);
            m.kind = MacroShapeKind::Rect;
            m.w = std::hypot(dx, dy);
            m.h = std::fabs(arg(1));
            m.cx = (arg(2) + arg(4)) / 2;
            m.cy = (arg(3) + arg(5)) / 2;
            rotate(m.cx, m.cy, arg(6));
            m.angle = (m.w > 0 ? std::atan2(dy, dx) * 180.0 / std::numbers::pi : 0.0) + arg(6);
            break;
        }
        case 21: // centre line: exposure, width, height, centre, rotation
        case 22: // lower-left line: exposure, width, height, lower-left corner, rotation
            if (v.size() < 5) {
                return fail(error, "line needs 5 values");
            }
            m.kind = MacroShapeKind::Rect;
            m.w = std::fabs(arg(1));
            m.h = std::fabs(arg(2));
            m.cx = arg(3) + (s.code == 22 ? m.w / 2 : 0);
            m.cy = arg(4) + (s.code == 22 ? m.h / 2 : 0);
            rotate(m.cx, m.cy, arg(5));
            m.angle = arg(5);
            break;
        case 4: { // outline: exposure, n, n + 1 points, rotation
            double nv = arg(1);
            if (!(nv >= 1 && nv <= kMaxOutline)) {
                return fail(error, "outline vertex count out of range");
            }
            size_t n = static_cast<size_t>(nv);
            if (v.size() < 4 + 2 * n) {
                return fail(error, "outline has fewer points than it says");
            }
            points += n + 1;
            if (points > kMaxPoints) {
                return fail(error, "too many outline points");
            }
            double rot = arg(4 + 2 * n);
            m.kind = MacroShapeKind::Outline;
            m.pts.reserve(n + 1);
            for (size_t k = 0; k <= n; ++k) {
                MacroPoint pt{v[2 + 2 * k], v[3 + 2 * k]};
                rotate(pt.x, pt.y, rot);
                m.pts.push_back(pt);
            }
            break;
        }
        case 5: { // regular polygon: exposure, n, centre, diameter, rotation
            double nv = arg(1);
            if (v.size() < 5 || !(nv >= 3 && nv <= kMaxPolygon)) {
                return fail(error, "polygon needs 3 to 12 vertices");
            }
            int n = static_cast<int>(nv);
            points += static_cast<size_t>(n);
            if (points > kMaxPoints) {
                return fail(error, "too many outline points");
            }
            m.kind = MacroShapeKind::Outline;
            double r = std::fabs(arg(4)) / 2, rot = arg(5);
            for (int k = 0; k < n; ++k) {
                double a = 2 * std::numbers::pi * k / n;
                MacroPoint pt{arg(2) + r * std::cos(a), arg(3) + r * std::sin(a)};
                rotate(pt.x, pt.y, rot);
                m.pts.push_back(pt);
            }
            break;
        }
        case 6: // moire: centre, ..., rotation
            if (v.size() < 9) {
                return fail(error, "moire needs 9 values");
            }
            m.kind = MacroShapeKind::Moire;
            m.exposure = true;
            m.cx = arg(0);
            m.cy = arg(1);
            m.w = std::fabs(arg(2));
            rotate(m.cx, m.cy, arg(8));
            break;
        case 7: // thermal: centre, outer, inner, gap, rotation
            if (v.size() < 5) {
                return fail(error, "thermal needs 5 values");
            }
            m.kind = MacroShapeKind::Thermal;
            m.exposure = true;
            m.cx = arg(0);
            m.cy = arg(1);
            m.w = std::fabs(arg(2));
            m.h = std::fabs(arg(3));
            m.gap = std::fabs(arg(4));
            rotate(m.cx, m.cy, arg(5));
            m.angle = arg(5);
            break;
        default:
            return fail(error, "unknown primitive " + std::to_string(s.code));
        }
        out.push_back(std::move(m));
    }
    return true;
}

bool evaluate_expression(std::string_view text, std::span<const double> vars, double& value) {
    ApertureMacro m;
    ApertureMacro::Expr e;
    if (!m.parse_expr(text, e, nullptr)) {
        return false;
    }
    std::vector<double> v(vars.begin(), vars.end());
    value = m.run(e, v);
    return true;
}

} // namespace trazel::formats
