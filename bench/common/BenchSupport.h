#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
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

// Processor seconds the whole process (every thread) has used so far.
double ProcessCpuSeconds();
// Processor seconds a running thread has used so far.
double ThreadCpuSeconds(const std::thread& thread);

// Seconds that requests sequential HEAD requests through client (an HTTP
// client component) take, the URL of request number index being
// urlOf(index); each must be answered 200.
template <typename Client, typename UrlOf>
double ClientHeadRound(Client& client, UrlOf&& urlOf, int requests) {
    return SecondsOf([&] {
        for (int index = 0; index < requests; ++index) {
            const std::int16_t reply = client.Head(urlOf(index)).Number;
            if (reply != 200) {
                throw std::runtime_error("unexpected reply " + std::to_string(reply));
            }
        }
    });
}

// Whether curl, the yardstick, can be run; says what is missing when not.
bool CurlAvailable();

// One curl process fetching every URL of configFile (a curl config of
// "url = ..." lines) with HEAD over HTTP/1.0, the yardstick of the link
// check benchmarks; extraOptions go on its command line. Returns the
// seconds it took; throws when curl fails.
double CurlHeadRound(const std::string& configFile, const std::string& extraOptions = "");

// Kilobytes of a field of /proc/self/status ("VmRSS", "VmHWM"); 0 if absent.
std::int64_t ProcessStatusKilobytes(const std::string& field);

// Runs this program again with the given arguments and returns what it
// printed on standard output. Measuring in a fresh process keeps the
// generator's memory out of the figures.
std::string RunSelf(const std::string& arguments);

// Text in single quotes, for a shell command line (the benchmarks' paths
// hold no quote).
std::string Quoted(const std::string& text);
std::string ReadFile(const std::filesystem::path& path);
// Throws when the file cannot be written.
void WriteFile(const std::filesystem::path& path, const std::string& text);

// Runs a shell command and returns its wall-clock seconds; throws when it
// does not end with the accepted exit code.
double TimedCommand(const std::string& command, int acceptedExit = 0);

// What a program run by RunProgram used.
struct ProgramRun {
    int ExitCode = -1;
    double Seconds = 0;
    // User and system time of the program (every thread).
    double CpuSeconds = 0;
    // Its peak resident memory.
    double PeakRssMegabytes = 0;
};
// Runs arguments[0] with the arguments that follow (no shell), its standard
// output into outputFile and its standard error dropped, and waits for it;
// throws when it cannot be started or ends by a signal.
ProgramRun RunProgram(const std::vector<std::string>& arguments,
                      const std::filesystem::path& outputFile);

// A collection of Favorites under root: each URL a shortcut, linksPerFolder
// of them in each folder, in the order given.
void WriteCollection(const std::filesystem::path& root, const std::vector<std::string>& urls,
                     int linksPerFolder);

// Lines of a vornakle-check result (text or csv) that give status 200 with
// the class ok.
std::size_t FineResults(const std::string& output);

// Raises this process's descriptor limit to the most it may have: the
// servers of the large runs hold thousands of sockets.
void RaiseDescriptorLimit();

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

// A URL as bookmarks hold them: http or https, a host with or without
// "www.", a few path parts, often a page name and sometimes a query.
std::string RandomUrl(Random& random);
// The path part of RandomUrl's URLs ("/", "/news/item-4711.html?ref=x").
std::string RandomPath(Random& random);

// An ordinary page of a site as the benchmarks' servers serve it: a title
// and heading of its own, then the navigation and few kilobytes of text
// every page of the site has.
std::string OrdinaryPage(const std::string& title);
// A title of a few words made from text, the same for the same text.
std::string TitleFor(std::string_view text);

// A shortcut file as Internet Explorer writes one for url.
std::string ShortcutFile(const std::string& url);

}  // namespace vornakle::bench
