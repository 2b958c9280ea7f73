#pragma once
// Aperture macros of extended Gerber files (%AM): parsed once into statements whose expressions are kept
// as postfix programs, then evaluated for each aperture that names the macro with its parameters.  The
// input is outside data, so everything is bounded: expression nesting, variable numbers, vertex counts
// and the shapes one evaluation may produce.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trazel::formats {

// One shape of an evaluated macro, in the file's units, the macro's rotation already applied.
enum class MacroShapeKind : uint8_t {
    Circle,  // w = diameter at (cx, cy)
    Rect,    // w x h centred at (cx, cy), turned by angle
    Outline, // a closed polygon: pts
    Thermal, // ring of outer diameter w, inner h, gap, turned by angle
    Moire,   // not drawn; reported
};

struct MacroPoint {
    double x = 0, y = 0;
};

struct MacroShape {
    MacroShapeKind kind = MacroShapeKind::Circle;
    bool exposure = true; // false: exposure off (a cut-out)
    double cx = 0, cy = 0;
    double w = 0, h = 0;
    double gap = 0;
    double angle = 0; // degrees, counter-clockwise
    std::vector<MacroPoint> pts;
};

class ApertureMacro {
  public:
    static constexpr int kMaxDepth = 48;         // nested parentheses and unary signs
    static constexpr int kMaxVariable = 999;     // $1 .. $999
    static constexpr int kMaxOutline = 10000;    // vertices of one outline primitive
    static constexpr int kMaxPolygon = 12;       // vertices of a regular polygon primitive
    static constexpr size_t kMaxShapes = 4096;   // shapes of one evaluation
    static constexpr size_t kMaxPoints = 200000; // outline points of one evaluation

    // Parses the statements of a macro body (after the name), separated by "*"; blanks and line ends
    // must already be gone.  Returns false (reason in `error`) for a statement it cannot read; the
    // statements before it are kept.
    bool parse(std::string_view body, std::string* error = nullptr);
    // Evaluates with the aperture's parameters ($1, $2, ...), appending the shapes to `out`.  Returns
    // false (reason in `error`) when a primitive is malformed; the shapes before it are kept.
    bool evaluate(std::span<const double> params, std::vector<MacroShape>& out, std::string* error = nullptr) const;

    size_t statement_count() const {
        return statements_.size();
    }

  private:
    friend bool evaluate_expression(std::string_view text, std::span<const double> vars, double& value);
    friend struct ExprParser;
    enum class Op : uint8_t { Const, Var, Neg, Add, Sub, Mul, Div };
    struct Instr {
        Op op;
        int32_t var;
        double value;
    };
    struct Expr {
        uint32_t first = 0, count = 0; // range in code_
    };
    struct Statement {
        int code = 0;                  // primitive code, or -1 for an assignment
        int32_t target = 0;            // assignment: the variable
        uint32_t first = 0, count = 0; // range in exprs_
    };

    bool parse_expr(std::string_view text, Expr& e, std::string* error);
    double run(const Expr& e, std::vector<double>& vars) const;

    std::vector<Instr> code_;
    std::vector<Expr> exprs_;
    std::vector<Statement> statements_;
    int32_t max_var_ = 0;
};

// One arithmetic expression of a macro ("$1x2+(3-$2)/4") with the given variables ($1 = vars[0]);
// false when it cannot be read.  Undefined variables read as 0, division by 0 gives 0.
bool evaluate_expression(std::string_view text, std::span<const double> vars, double& value);

} // namespace trazel::formats
