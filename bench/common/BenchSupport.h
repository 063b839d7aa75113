#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace vornakle::bench {

// Wall-clock time of one call, in seconds.
template <typename Body>
double SecondsOf(Body&& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A "--flag N" option of a benchmark and the count it sets.
struct CountOption {
    const char* flag;
    int* value;
};

// Reads the options into their counts, each of which must be positive; on
// anything else prints the usage and returns false.
bool ReadCountOptions(int argc, char** argv, std::initializer_list<CountOption> options,
                      const char* program);

// Runs a benchmark, turning an escaping failure into its message and exit
// code 1.
int RunReporting(const char* program, const std::function<int()>& body);

// Benchmarks that make windows need no display.
void UseOffscreenPlatformUnlessChosen();

// Opens and reads every file once, the floor of anything that reads them;
// returns the seconds it took and adds the bytes read to bytes (if given).
double ReadFilesOnce(const std::vector<std::string>& paths, std::size_t* bytes = nullptr);

// Kilobytes of a field of /proc/self/status ("VmRSS", "VmHWM"); 0 if absent.
std::int64_t ProcessStatusKilobytes(const std::string& field);

// Runs this program again with the given arguments and returns what it
// printed on standard output. Measuring in a fresh process keeps the
// generator's memory out of the figures.
std::string RunSelf(const std::string& arguments);

// A small deterministic generator, so every run builds the same collection.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    int Below(int limit) { return static_cast<int>(Next() % static_cast<std::uint64_t>(limit)); }
    // A word of letters, length between minimum and maximum.
    std::string Word(int minimum, int maximum, bool capital);

private:
    std::uint64_t state_;
};

}  // namespace vornakle::bench
