#include "common/Linkinator.h"

#include "common/BenchSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

namespace vornakle::bench {

namespace {

std::filesystem::path InstallFolder() {
    return VORNAKLE_BENCH_PEERS_DIR;
}

bool HaveLinkinator() {
    const std::string manifest =
        ReadFile(InstallFolder() / "node_modules" / "linkinator" / "package.json");
    return std::filesystem::exists(LinkinatorProgram()) &&
           manifest.find("\"version\": \"" + std::string(kLinkinatorVersion) + "\"") !=
               std::string::npos;
}

}  // namespace

std::filesystem::path LinkinatorProgram() {
    return InstallFolder() / "node_modules" / ".bin" / "linkinator";
}

bool EnsureLinkinator() {
    if (HaveLinkinator()) {
        return true;
    }
    std::cerr << "installing linkinator " << kLinkinatorVersion << "\n";
    if (std::system("command -v npm > /dev/null 2>&1") != 0) {
        const std::string sudo = ::geteuid() == 0 ? "" : "sudo ";
        std::system((sudo + "apt-get update -qq && " + sudo +
                     "env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "
                     "--no-install-recommends npm > /dev/null")
                        .c_str());
    }
    std::system(("npm install --prefix " + Quoted(InstallFolder().string()) +
                 " --no-save --no-package-lock --no-audit --no-fund --loglevel=error linkinator@" +
                 kLinkinatorVersion + " > /dev/null")
                    .c_str());
    return HaveLinkinator();
}

}  // namespace vornakle::bench
