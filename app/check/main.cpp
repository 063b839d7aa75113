// vornakle-check: the command-line checker, from the desktop program's scan,
// HTTP client and status rules.
#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "app/check/CheckProgram.h"

int main(int argc, char** argv) {
    // The workers' clients post their socket events through the
    // application's event machinery.
    QCoreApplication application(argc, argv);
    // The arguments as bytes: paths and URLs are never decoded.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return vornakle::RunCheckProgram(arguments, stdout, stderr);
}
