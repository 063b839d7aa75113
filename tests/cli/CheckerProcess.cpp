#include "CheckerProcess.h"

#include <algorithm>

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "cli/check/CheckProgram.h"
#include "support/ContentCodings.h"

namespace vornakle::testing {

void StartChecker(QProcess& process, const std::vector<std::string>& arguments, ChildSetup setup,
                  const std::vector<std::pair<std::string, std::string>>& proxies) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY", "HTTP_PROXY"}) {
        environment.remove(QString::fromLatin1(name));
    }
    // Nor do they read the user's config file.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/nonexistent"));
    for (const auto& [name, value] : proxies) {
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    process.setProcessEnvironment(environment);
    QStringList list;
    // The tests of the program pin the verdicts and bytes of the classic
    // rules unless they name the rules; the current ones have their own
    // suite (tests/check) and the tests here that name them.
    if (std::none_of(arguments.begin(), arguments.end(),
                     [](const std::string& argument) { return argument.starts_with("--rules"); })) {
        list << QStringLiteral("--rules=classic");
    }
    // Nor do they keep a history of checks unless they name one: a run
    // would otherwise write into the user's own and find there what other
    // tests' runs left.
    if (std::none_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
            return argument.starts_with("--history") || argument.starts_with("--no-history");
        })) {
        list << QStringLiteral("--no-history");
    }
    for (const std::string& argument : arguments) {
        // Arguments stay bytes, as the program reads them.
        list << QString::fromLocal8Bit(argument.data(), static_cast<qsizetype>(argument.size()));
    }
    process.setProgram(QStringLiteral(VORNAKLE_CHECK_PROGRAM));
    process.setArguments(list);
    if (setup) {
        process.setChildProcessModifier(setup);
    }
    process.start();
    process.waitForStarted(static_cast<int>(kRunLimit.count()));
}

CheckerRun FinishChecker(QProcess& process) {
    CheckerRun run;
    run.finished = process.waitForFinished(static_cast<int>(kRunLimit.count()));
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = process.readAllStandardOutput().toStdString();
    run.errors = process.readAllStandardError().toStdString();
    return run;
}

CheckerRun RunChecker(const std::vector<std::string>& arguments, ChildSetup setup,
                      const std::vector<std::pair<std::string, std::string>>& proxies) {
    QProcess process;
    StartChecker(process, arguments, std::move(setup), proxies);
    return FinishChecker(process);
}

CheckerRun RunCheckerHere(const std::vector<std::string>& arguments, const HistoryClock& clock) {
    char* output = nullptr;
    char* errors = nullptr;
    std::size_t outputSize = 0;
    std::size_t errorsSize = 0;
    std::FILE* outputFile = ::open_memstream(&output, &outputSize);
    std::FILE* errorsFile = ::open_memstream(&errors, &errorsSize);
    // The user's config file stays out, as in RunChecker.
    std::vector<std::string> withoutConfig = {"--no-config"};
    withoutConfig.insert(withoutConfig.end(), arguments.begin(), arguments.end());
    CheckerRun run;
    run.exitCode = RunCheckProgram(withoutConfig, outputFile, errorsFile, clock);
    run.finished = true;
    std::fclose(outputFile);
    std::fclose(errorsFile);
    run.output.assign(output, outputSize);
    run.errors.assign(errors, errorsSize);
    std::free(output);
    std::free(errors);
    return run;
}

ServerScript ArchiveAnswers(const std::string& marker) {
    return ServerScript().Answer([marker](const std::string& request) {
        const std::size_t host = request.find("\r\nHost: ") + 8;
        const std::size_t start = request.find("?url=") + 5;
        std::string page;
        for (const char character :
             QByteArray::fromPercentEncoding(
                 QByteArray::fromStdString(request.substr(start, request.find('&') - start)))
                 .toStdString()) {
            page += character == '"' ? "\\\"" : std::string(1, character);
        }
        const std::string json =
            request.find(marker) == std::string::npos
                ? R"({"archived_snapshots":{}})"
                : R"({"archived_snapshots":{"closest":{"available":true,"status":"200","url":"http://)" +
                      request.substr(host, request.find('\r', host) - host) + "/web/1/" + page +
                      R"(","timestamp":"1"}}})";
        // Coded as services send their replies to whoever asks for it.
        const std::string coded = Gzipped(json);
        return "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
               std::to_string(coded.size()) + "\r\n\r\n" + coded;
    });
}

std::string ArchivedCopy(const LoopbackServer& archive, const std::string& url) {
    return "http://127.0.0.1:" + std::to_string(archive.Port()) + "/web/1/" + url;
}

std::vector<std::string> Lines(const std::string& text, bool crlf) {
    const std::string end = crlf ? "\r\n" : "\n";
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t stop = text.find(end, start);
        if (stop == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, stop - start));
        start = stop + end.size();
    }
    return lines;
}

}  // namespace vornakle::testing
