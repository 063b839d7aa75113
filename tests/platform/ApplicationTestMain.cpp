#include <gtest/gtest.h>

#include "platform/ui/Application.h"

// The program's own application object, whose error report is under test.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    vornakle::TApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
