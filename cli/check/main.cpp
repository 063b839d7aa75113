// vornakle-check: the command-line checker, from the desktop program's scan,
// HTTP client and status rules.
#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/check/CheckProgram.h"
#include "cli/check/Descriptors.h"

int main(int argc, char** argv) {
    vornakle::OpenClosedStandardDescriptors();
    vornakle::RaiseDescriptorLimit();
    // The arguments as bytes, taken before the application object could
    // claim any: paths and URLs are never decoded.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // The workers' clients post their socket events through the
    // application's event machinery.
    QCoreApplication application(argc, argv);
    return vornakle::RunCheckProgram(arguments, stdout, stderr);
}
