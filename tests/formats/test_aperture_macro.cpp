// Aperture macros: expression precedence, variables, primitives and rotation, and the limits that keep
// hostile macros cheap.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "formats/aperture_macro.h"

using trazel::formats::ApertureMacro;
using trazel::formats::evaluate_expression;
using trazel::formats::MacroShape;
using trazel::formats::MacroShapeKind;

namespace {

double eval(const std::string& text, std::vector<double> vars = {}) {
    double v = -12345;
    EXPECT_TRUE(evaluate_expression(text, vars, v)) << text;
    return v;
}

std::vector<MacroShape> shapes(const std::string& body, std::vector<double> params = {}, bool ok = true) {
    ApertureMacro m;
    std::string why;
    EXPECT_TRUE(m.parse(body, &why)) << why;
    std::vector<MacroShape> out;
    EXPECT_EQ(m.evaluate(params, out, &why), ok) << why;
    return out;
}

} // namespace

TEST(ApertureMacroExpr, PrecedenceAssociativityAndSigns) {
    EXPECT_DOUBLE_EQ(eval("1+2x3"), 7);
    EXPECT_DOUBLE_EQ(eval("(1+2)x3"), 9);
    EXPECT_DOUBLE_EQ(eval("2-3-4"), -5);
    EXPECT_DOUBLE_EQ(eval("12/2/3"), 2);
    EXPECT_DOUBLE_EQ(eval("-2X-3"), 6);
    EXPECT_DOUBLE_EQ(eval("--1"), 1);
    EXPECT_DOUBLE_EQ(eval("1-(2-(3-4))"), -2);
    EXPECT_DOUBLE_EQ(eval(".5+1."), 1.5);
    EXPECT_DOUBLE_EQ(eval("$1x$2+$3", {2, 3}), 6); // an unset variable is 0
    EXPECT_DOUBLE_EQ(eval("1/0"), 0);
    double v;
    for (const char* bad : {"", "1+", "(1", "1)", "$0", "$", "1..2", "2*3", "$1000"}) {
        EXPECT_FALSE(evaluate_expression(bad, {}, v)) << bad;
    }
}

TEST(ApertureMacroExpr, HostileExpressionsAreRefusedCheaply) {
    double v;
    EXPECT_FALSE(evaluate_expression(std::string(100000, '(') + "1" + std::string(100000, ')'), {}, v));
    EXPECT_FALSE(evaluate_expression(std::string(100000, '-') + "1", {}, v));
    EXPECT_FALSE(evaluate_expression("$999999999", {}, v));
    EXPECT_TRUE(evaluate_expression(std::string(40, '(') + "1" + std::string(40, ')'), {}, v));
    EXPECT_DOUBLE_EQ(v, 1);
    // A long flat expression is fine: its depth does not grow.
    std::string sum = "1";
    for (int k = 0; k < 10000; ++k) {
        sum += "+1";
    }
    EXPECT_TRUE(evaluate_expression(sum, {}, v));
    EXPECT_DOUBLE_EQ(v, 10001);
    EXPECT_TRUE(evaluate_expression("99999999999999999999999999", {}, v));
    EXPECT_NEAR(v, 1e26, 1e12);
}

TEST(ApertureMacro, AssignmentsAndParameters) {
    // $3 is computed from the parameters; later statements see it.
    auto s = shapes("0 comment*$3=$1+$2*1,1,$3,$1,0*", {1, 2});
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].kind, MacroShapeKind::Circle);
    EXPECT_DOUBLE_EQ(s[0].w, 3);
    EXPECT_DOUBLE_EQ(s[0].cx, 1);
}

TEST(ApertureMacro, RotationTurnsAboutTheMacroOrigin) {
    auto s = shapes("1,1,0.5,1,0,90*21,1,0.4,0.2,1,0,90*20,1,0.1,0,0,1,0,0*22,1,0.4,0.2,0,0,0*"
                    "5,1,4,0,0,2,45*");
    ASSERT_EQ(s.size(), 5u);
    EXPECT_NEAR(s[0].cx, 0, 1e-12);
    EXPECT_NEAR(s[0].cy, 1, 1e-12);
    EXPECT_EQ(s[1].kind, MacroShapeKind::Rect);
    EXPECT_NEAR(s[1].cy, 1, 1e-12);
    EXPECT_DOUBLE_EQ(s[1].angle, 90);
    // A vector line: a rectangle along it, the line's width across.
    EXPECT_DOUBLE_EQ(s[2].w, 1);
    EXPECT_DOUBLE_EQ(s[2].h, 0.1);
    EXPECT_DOUBLE_EQ(s[2].cx, 0.5);
    // The lower-left form is centred on its middle.
    EXPECT_DOUBLE_EQ(s[3].cx, 0.2);
    EXPECT_DOUBLE_EQ(s[3].cy, 0.1);
    // A square polygon turned by 45 degrees has its first vertex on the diagonal.
    ASSERT_EQ(s[4].pts.size(), 4u);
    EXPECT_NEAR(s[4].pts[0].x, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(s[4].pts[0].y, std::sqrt(0.5), 1e-12);
}

TEST(ApertureMacro, OutlinesAreCheckedAgainstTheirCount) {
    auto s = shapes("4,1,3,0,0,1,0,1,1,0,0,0*");
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].pts.size(), 4u);
    // A vertex count of 2^31 with four points given: refused, nothing allocated.
    shapes("4,1,2147483648,0,0,1,0,1,1,0,0,0*", {}, false);
    shapes("4,1,5,0,0,1,0,1,1,0,0,0*", {}, false);
    shapes("4,1,$1,0,0,1,0*", {1e300}, false);
    shapes("5,1,13,0,0,1,0*", {}, false);
    shapes("9,1,2*", {}, false);
    // Exposure off and the moire are kept for the reader to report.
    auto off = shapes("1,0,1,0,0*6,0,0,1,0.1,0.1,3,0.01,1.2,0*");
    ASSERT_EQ(off.size(), 2u);
    EXPECT_FALSE(off[0].exposure);
    EXPECT_EQ(off[1].kind, MacroShapeKind::Moire);
}

TEST(ApertureMacro, ParseErrorsKeepWhatCameBefore) {
    ApertureMacro m;
    std::string why;
    EXPECT_FALSE(m.parse("1,1,1,0,0*1,1,(2,0,0*", &why));
    EXPECT_EQ(m.statement_count(), 1u);
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(ApertureMacro().parse("$a=1*", &why));
    EXPECT_FALSE(ApertureMacro().parse("x,1*", &why));
}

TEST(ApertureMacro, ManyPrimitivesStopAtTheLimit) {
    std::string body;
    for (size_t k = 0; k < ApertureMacro::kMaxShapes + 10; ++k) {
        body += "1,1,1,0,0*";
    }
    auto s = shapes(body, {}, false);
    EXPECT_EQ(s.size(), ApertureMacro::kMaxShapes);
}
