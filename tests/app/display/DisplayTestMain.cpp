// The main of the display tests: an X server of their own, and the
// program's own application object on it, made only when the server runs.
#include <gtest/gtest.h>

#include <QtGlobal>
#include <iostream>
#include <memory>

#include "DisplayTest.h"
#include "VirtualScreen.h"
#include "platform/ui/Application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    vornakle::testing::VirtualScreen screen;
    std::unique_ptr<vornakle::TApplication> application;
    if (screen.IsRunning()) {
        qputenv("DISPLAY", QByteArray::fromStdString(screen.Display()));
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("WAYLAND_DISPLAY");
        application = std::make_unique<vornakle::TApplication>(argc, argv);
    } else {
        vornakle::testing::NoScreenReason() = screen.Failure();
        std::cout << "No X server could be started (" << screen.Failure()
                  << "); the display tests are skipped.\n";
    }
    const int result = RUN_ALL_TESTS();
    application.reset();
    return result;
}
