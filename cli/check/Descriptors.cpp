#include "cli/check/Descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace vornakle {

namespace {

constexpr int kStandardDescriptors = 3;

// The descriptors this process has open (the listing's own included).
std::int64_t OpenDescriptors() {
    DIR* listing = ::opendir("/proc/self/fd");
    if (listing == nullptr) {
        return kSpareDescriptors;
    }
    std::int64_t count = 0;
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    ::closedir(listing);
    return count;
}

}  // namespace

void OpenClosedStandardDescriptors() {
    for (int descriptor = 0; descriptor < kStandardDescriptors; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free number is this one, as the lower ones are open.
            const int opened = ::open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
            if (opened != descriptor && opened >= 0) {
                ::close(opened);
            }
        }
    }
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::optional<int> JobsWithinDescriptorLimit(int jobs) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return jobs;
    }
    const std::int64_t free =
        static_cast<std::int64_t>(limit.rlim_cur) - OpenDescriptors() - kSpareDescriptors;
    const std::int64_t fitting = free / kDescriptorsPerJob;
    if (fitting < 1) {
        return std::nullopt;
    }
    return static_cast<int>(std::min<std::int64_t>(jobs, fitting));
}

}  // namespace vornakle
