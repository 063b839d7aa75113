#include "common/BenchSupport.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace vornakle::bench {

bool ReadCountOptions(int argc, char** argv, std::initializer_list<CountOption> options,
                      const char* program) {
    std::string usage = std::string("usage: ") + program;
    for (const CountOption& option : options) {
        usage += std::string(" [") + option.flag + " N]";
    }
    for (int index = 1; index < argc; ++index) {
        const CountOption* matched = nullptr;
        for (const CountOption& option : options) {
            if (argv[index] == std::string(option.flag) && index + 1 < argc) {
                matched = &option;
            }
        }
        if (matched == nullptr) {
            std::cerr << usage << "\n";
            return false;
        }
        *matched->value = std::atoi(argv[++index]);
    }
    for (const CountOption& option : options) {
        if (*option.value <= 0) {
            std::cerr << program << ": " << option.flag << " must be positive\n";
            return false;
        }
    }
    return true;
}

int RunReporting(const char* program, const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        std::cerr << program << ": " << error.what() << "\n";
        return 1;
    }
}

void UseOffscreenPlatformUnlessChosen() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

double ReadFilesOnce(const std::vector<std::string>& paths, std::size_t* bytes) {
    std::size_t total = 0;
    const double seconds = SecondsOf([&] {
        char buffer[16 * 1024];
        for (const std::string& path : paths) {
            const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (file < 0) {
                continue;
            }
            ssize_t got = 0;
            while ((got = ::read(file, buffer, sizeof buffer)) > 0) {
                total += static_cast<std::size_t>(got);
            }
            ::close(file);
        }
    });
    if (bytes != nullptr) {
        *bytes += total;
    }
    return seconds;
}

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool CurlAvailable() {
    if (std::system("curl --version > /dev/null 2>&1") != 0) {
        std::cerr << "curl is needed as the yardstick (scripts/install-deps installs it)\n";
        return false;
    }
    return true;
}

double CurlHeadRound(const std::string& configFile, const std::string& extraOptions) {
    const std::string command =
        "curl --http1.0 -s -I --fail " + extraOptions + " -K '" + configFile + "' > /dev/null";
    int status = 0;
    const double seconds = SecondsOf([&] { status = std::system(command.c_str()); });
    if (status != 0) {
        throw std::runtime_error("curl failed: " + command);
    }
    return seconds;
}

std::int64_t ProcessStatusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stoll(line.substr(field.size() + 1));
        }
    }
    return 0;
}

std::string RunSelf(const std::string& arguments) {
    std::array<char, 4096> self{};
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) {
        throw std::runtime_error("cannot find this program");
    }
    const std::string command =
        std::string(self.data(), static_cast<std::size_t>(length)) + " " + arguments;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        throw std::runtime_error("cannot run " + command);
    }
    std::string output;
    std::array<char, 4096> chunk{};
    while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), pipe.get()) != nullptr) {
        output += chunk.data();
    }
    return output;
}

std::uint64_t Random::Next() {
    // xorshift64*
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 2685821657736338717ULL;
}

std::string Random::Word(int minimum, int maximum, bool capital) {
    const int length = minimum + Below(maximum - minimum + 1);
    std::string word;
    for (int index = 0; index < length; ++index) {
        word.push_back(static_cast<char>('a' + Below(26)));
    }
    if (capital && !word.empty()) {
        word[0] = static_cast<char>(word[0] - 'a' + 'A');
    }
    return word;
}

std::string RandomPath(Random& random) {
    std::string path = "/";
    const int depth = random.Below(4);
    for (int part = 0; part < depth; ++part) {
        path += random.Word(3, 10, false);
        if (random.Below(2)) {
            path += '-';
            path += random.Word(3, 8, false);
        }
        path += '/';
    }
    if (random.Below(2)) {
        path += random.Word(4, 10, false) + "-" + std::to_string(random.Below(100000)) + ".html";
    }
    if (random.Below(4) == 0) {
        path += "?ref=" + random.Word(3, 8, false);
    }
    return path;
}

std::string RandomUrl(Random& random) {
    static const char* const kSchemes[] = {"http://", "https://"};
    static const char* const kTopLevel[] = {".com", ".de", ".org", ".net", ".co.uk"};
    std::string url = kSchemes[random.Below(2)];
    if (random.Below(3) > 0) {
        url += "www.";
    }
    url += random.Word(4, 12, false) + kTopLevel[random.Below(5)];
    return url + RandomPath(random);
}

std::string ShortcutFile(const std::string& url) {
    return "[DEFAULT]\r\nBASEURL=" + url +
           "\r\n[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n"
           "[InternetShortcut]\r\nIDList=\r\nURL=" +
           url + "\r\nIconIndex=0\r\nHotKey=0\r\n";
}

}  // namespace vornakle::bench
