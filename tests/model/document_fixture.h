#pragma once
// A fresh model with one empty Document, for the tests that build Items by hand.
#include <gtest/gtest.h>

#include "model/model.h"

namespace model_test {

struct ItemsInADocument : ::testing::Test {
    trazel::model::Model m;
    trazel::model::Document* d = nullptr;
    void SetUp() override {
        d = trazel::model::NewDocument("test.pcb");
        ASSERT_NE(d, nullptr);
    }
    trazel::model::Ref ring() {
        return d->ring();
    }
};

} // namespace model_test
