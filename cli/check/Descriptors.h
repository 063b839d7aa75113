#pragma once

#include <optional>

namespace vornakle {

// Opens /dev/null on each of descriptors 0 to 2 that is closed, so that no
// file, socket or pipe the program opens later takes such a number and gets
// what is meant for standard input, output or error. Call first.
void OpenClosedStandardDescriptors();

// Raises the soft limit of open descriptors to the hard limit: each job
// needs a few, and the usual soft limit is far below what the hard one
// allows.
void RaiseDescriptorLimit();

// Descriptors one job may hold at once: its thread's event dispatcher and
// its socket (two, measured), and the socket and files a host lookup opens
// for a moment.
inline constexpr int kDescriptorsPerJob = 6;
// Descriptors kept free for the rest of the program (signal pipe, output,
// the toolkit's own).
inline constexpr int kSpareDescriptors = 16;

// How many of Jobs fit within the descriptor limit beside those open now;
// nullopt when not even one does.
std::optional<int> JobsWithinDescriptorLimit(int jobs);

}  // namespace vornakle
