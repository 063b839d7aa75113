#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vornakle::testing {

// Why the tests have no X server; empty when they have one.
std::string& NoScreenReason();

// Skips a test when no X server could be started.
class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NoScreenReason().empty()) {
            GTEST_SKIP() << "no X server: " << NoScreenReason();
        }
    }
};

}  // namespace vornakle::testing
