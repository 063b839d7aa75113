#include "common/BenchSupport.h"

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>

extern char** environ;

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

double ThreadCpuSeconds(const std::thread& thread) {
    clockid_t clock{};
    timespec used{};
    if (::pthread_getcpuclockid(const_cast<std::thread&>(thread).native_handle(), &clock) != 0 ||
        ::clock_gettime(clock, &used) != 0) {
        return 0;
    }
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
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

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

double TimedCommand(const std::string& command, int acceptedExit) {
    int status = 0;
    const double seconds = SecondsOf([&] { status = std::system(command.c_str()); });
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != acceptedExit) {
        throw std::runtime_error("failed (" + std::to_string(status) + "): " + command);
    }
    return seconds;
}

ProgramRun RunProgram(const std::vector<std::string>& arguments,
                      const std::filesystem::path& outputFile) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const auto start = std::chrono::steady_clock::now();
    const int started = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        throw std::runtime_error("cannot run " + arguments[0]);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("lost " + arguments[0]);
        }
    }
    ProgramRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status)) {
        throw std::runtime_error(arguments[0] + " ended by signal " +
                                 std::to_string(WTERMSIG(status)));
    }
    run.ExitCode = WEXITSTATUS(status);
    run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    // Linux gives the peak in kilobytes.
    run.PeakRssMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return run;
}

void WriteCollection(const std::filesystem::path& root, const std::vector<std::string>& urls,
                     int linksPerFolder) {
    for (std::size_t index = 0; index < urls.size(); ++index) {
        const std::filesystem::path folder =
            root / ("Folder " + std::to_string(index / static_cast<std::size_t>(linksPerFolder)));
        if (index % static_cast<std::size_t>(linksPerFolder) == 0) {
            std::filesystem::create_directories(folder);
        }
        WriteFile(folder / ("Link " + std::to_string(index) + ".url"),
                  "[InternetShortcut]\r\nURL=" + urls[index] + "\r\n");
    }
}

std::size_t FineResults(const std::string& output) {
    std::size_t count = 0;
    for (const char* fine : {"\t200\tOK\tok\t", ",200,OK,ok,"}) {
        for (std::size_t at = output.find(fine); at != std::string::npos;
             at = output.find(fine, at + 1)) {
            ++count;
        }
    }
    return count;
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
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

std::string OrdinaryPage(const std::string& title) {
    static const std::string text = [] {
        constexpr int kParagraphs = 8;
        constexpr int kWordsPerParagraph = 90;
        Random random(4711);
        std::string made =
            "<nav><a href=\"/\">Home</a> <a href=\"/about.html\">About</a> "
            "<a href=\"/archive/\">Archive</a></nav>\n";
        for (int paragraph = 0; paragraph < kParagraphs; ++paragraph) {
            made += "<p>";
            for (int word = 0; word < kWordsPerParagraph; ++word) {
                made += random.Word(2, 9, word == 0) + (word + 1 < kWordsPerParagraph ? " " : ".");
            }
            made += "</p>\n";
        }
        return made;
    }();
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head>\n<body><h1>" + title + "</h1>\n" + text + "</body></html>\n";
}

std::string TitleFor(std::string_view text) {
    Random random(std::hash<std::string_view>()(text) | 1);
    return random.Word(4, 10, true) + " " + random.Word(3, 9, false) + " " +
           random.Word(4, 11, false);
}

std::string ShortcutFile(const std::string& url) {
    return "[DEFAULT]\r\nBASEURL=" + url +
           "\r\n[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n"
           "[InternetShortcut]\r\nIDList=\r\nURL=" +
           url + "\r\nIconIndex=0\r\nHotKey=0\r\n";
}

}  // namespace vornakle::bench
