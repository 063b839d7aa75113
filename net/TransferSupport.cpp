#include "net/TransferSupport.h"

#include <cerrno>
#include <cstring>

namespace vornakle {

namespace {

const char* StepWord(FileStep step) {
    switch (step) {
        case FileStep::Create:
            return "create";
        case FileStep::Open:
            return "open";
        case FileStep::Read:
            return "read";
        case FileStep::Write:
            return "write";
    }
    return "use";
}

}  // namespace

EFileError FileFailure(FileStep step, const std::string& name) {
    // Taken first: building the text may touch errno.
    const int reason = errno;
    return EFileError(std::string("Cannot ") + StepWord(step) + " file \"" + name + "\". " +
                      std::strerror(reason));
}

OutputFile::OutputFile(std::string name)
    : name_(std::move(name)), file_(std::fopen(name_.c_str(), "wb")) {
    if (!file_) {
        throw FileFailure(FileStep::Create, name_);
    }
}

void OutputFile::Write(const char* data, std::size_t length) {
    if (std::fwrite(data, 1, length, file_.get()) != length) {
        throw FileFailure(FileStep::Write, name_);
    }
}

void OutputFile::Close() {
    std::FILE* raw = file_.release();
    if (raw != nullptr && std::fclose(raw) != 0) {
        throw FileFailure(FileStep::Write, name_);
    }
}

}  // namespace vornakle
