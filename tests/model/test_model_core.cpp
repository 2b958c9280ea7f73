#include <gtest/gtest.h>

#include "model/model.h"

using namespace trazel::model;

TEST(NodePool, BuildSmoke) {
    Model m;
    Document* d = NewDocument("a.pcb");
    ASSERT_NE(d, nullptr);
    Ref l = MakeItem(d->ring(), kLine, 3, 655, 0, 0, kInch, kInch);
    EXPECT_NE(l, kNone);
}
