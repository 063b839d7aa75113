// The progress line: on standard error when that is a terminal, never in
// the results.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CheckerProcess.h"
#include "support/LoopbackServer.h"
#include "support/TempTree.h"

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;

// Reads a descriptor until its writers are gone (EOF, or EIO on a
// terminal's master side), waiting at most kRunLimit in all.
std::string ReadToEnd(int descriptor) {
    std::string bytes;
    const auto end = std::chrono::steady_clock::now() + kRunLimit;
    while (std::chrono::steady_clock::now() < end) {
        pollfd waiting{descriptor, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

TEST(CheckTerminal, ProgressLineOnATerminalOnly) {
    // Each answer takes long enough for several progress ticks.
    LoopbackServer slow(
        ServerScript().ReadUntil("\r\n\r\n").Pause(600ms).Send("HTTP/1.0 404 Not Found\r\n\r\n"));
    TempTree tree;
    const std::string url = "http://127.0.0.1:" + std::to_string(slow.Port()) + "/";
    tree.WriteFile("1.url", ShortcutText(url));
    tree.WriteFile("2.url", ShortcutText(url));

    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
    const std::string program = VORNAKLE_CHECK_PROGRAM;
    const std::string root = tree.Root();
    std::vector<char*> arguments{
        const_cast<char*>(program.c_str()), const_cast<char*>("--no-history"),
        const_cast<char*>("--jobs"),        const_cast<char*>("1"),
        const_cast<char*>(root.c_str()),    nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, program.c_str(), &actions, nullptr, arguments.data(), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    ::close(slave);

    const std::string results = ReadToEnd(output[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string terminal = ReadToEnd(master);
    ::close(output[0]);
    ::close(master);

    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(Lines(results).size(), 2u);
    EXPECT_EQ(results.find('\033'), std::string::npos) << "no progress among the results";
    EXPECT_NE(terminal.find(" of 2 links checked, "), std::string::npos) << terminal;
    // The line is erased at the end, so the shell's prompt starts clean.
    EXPECT_EQ(terminal.substr(terminal.size() >= 4 ? terminal.size() - 4 : 0), "\r\033[K")
        << terminal;
}

}  // namespace
}  // namespace vornakle::testing
