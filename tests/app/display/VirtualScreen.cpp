#include "VirtualScreen.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

extern char** environ;

namespace vornakle::testing {
namespace {

constexpr char kServer[] = "Xvfb";
constexpr char kScreenSize[] = "1280x1024x24";
// Only a server that does not start at all takes this long to name its
// display; the wait is no measure of speed.
constexpr std::chrono::milliseconds kStartLimit{std::chrono::seconds(60)};

// The pipe's two ends, closed with this object.
struct Pipe {
    int ends[2] = {-1, -1};
    ~Pipe() {
        for (int end : ends) {
            if (end >= 0) {
                ::close(end);
            }
        }
    }
};

}  // namespace

VirtualScreen::VirtualScreen() {
    Pipe pipe;
    if (::pipe(pipe.ends) != 0) {
        failure_ = std::string("no pipe: ") + std::strerror(errno);
        return;
    }
    // The server writes the display number it chose to this descriptor.
    const std::string displayDescriptor = std::to_string(pipe.ends[1]);
    std::vector<std::string> arguments = {kServer, "-displayfd", displayDescriptor, "-screen",
                                          "0",     kScreenSize,  "-nolisten",       "tcp"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipe.ends[0]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = ::posix_spawnp(&server_, kServer, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        server_ = -1;
        failure_ = std::string(kServer) + " cannot be started: " + std::strerror(spawned);
        return;
    }
    ::close(pipe.ends[1]);
    pipe.ends[1] = -1;

    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{pipe.ends[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            failure_ = std::string(kServer) + " named no display";
            return;
        }
        char chunk[16];
        const ssize_t got = ::read(pipe.ends[0], chunk, sizeof chunk);
        if (got <= 0) {
            failure_ = std::string(kServer) + " ended without naming a display";
            return;
        }
        number.append(chunk, static_cast<std::size_t>(got));
    }
    number.pop_back();
    display_ = ":" + number;
}

VirtualScreen::~VirtualScreen() {
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        int status = 0;
        ::waitpid(server_, &status, 0);
    }
}

}  // namespace vornakle::testing
