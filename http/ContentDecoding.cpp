// The content codings a browser accepts, undone with Debian's zlib, Brotli
// and zstd libraries into a bounded buffer.

#include "http/ContentDecoding.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <optional>

#include "platform/AsciiCase.h"
#include "platform/TrimBlanks.h"

namespace vornakle {

class ContentDecoder::Stage {
public:
    enum class End { More, StreamEnd, Broken };
    struct Step {
        std::size_t Written = 0;
        End Ending = End::More;
    };

    virtual ~Stage() = default;
    // Decodes from the front of input, which it advances past what it took,
    // into at most room bytes at out.
    virtual Step Decode(std::string_view& input, char* out, std::size_t room) = 0;
};

namespace {

using Stage = ContentDecoder::Stage;
using End = Stage::End;

// Decoded bytes handed from one coding to the next at a time.
constexpr std::size_t kPieceBytes = 8 * 1024;
// RFC 9659 section 3: a zstd window of up to 8 MiB is what HTTP content
// may ask for; a larger one would make a small reply cost a large buffer.
constexpr int kZstdWindowLogMax = 23;
constexpr unsigned char kGzipFirstByte = 0x1f;
// The bytes the codings may hand on, all together, per byte of the bound.
constexpr std::size_t kWorkFactor = 8;

enum class Coding { Gzip, Deflate, Brotli, Zstd };

// The two bytes of a zlib header (RFC 1950 section 2.2): the deflate
// method, a window of at most 32 KiB, and a check that makes the pair a
// multiple of 31. Raw deflate data seldom passes all three.
bool IsZlibHeader(unsigned char method, unsigned char flags) {
    constexpr unsigned kDeflateMethod = 8;
    constexpr unsigned kMaxWindowInfo = 7;
    return (method & 0x0fU) == kDeflateMethod && (method >> 4U) <= kMaxWindowInfo &&
           ((method * 256U) + flags) % 31U == 0;
}

class ZlibStage final : public Stage {
public:
    explicit ZlibStage(bool gzip) : gzip_(gzip) {}
    ~ZlibStage() override {
        if (ready_) {
            inflateEnd(&stream_);
        }
    }
    ZlibStage(const ZlibStage&) = delete;
    ZlibStage& operator=(const ZlibStage&) = delete;

    Step Decode(std::string_view& input, char* out, std::size_t room) override {
        if (!ready_) {
            if (!Start(input)) {
                return {0, failed_ ? End::Broken : End::More};
            }
        }
        if (memberEnded_) {
            // Gzip members may follow one another (RFC 1952 section 2.2);
            // anything else after the data is not read.
            if (input.empty()) {
                return {};
            }
            if (static_cast<unsigned char>(input.front()) != kGzipFirstByte ||
                inflateReset(&stream_) != Z_OK) {
                return {0, End::StreamEnd};
            }
            memberEnded_ = false;
        }
        Step step;
        // The bytes held back to tell zlib from raw deflate go first.
        if (held_ < head_.size()) {
            std::string_view head = std::string_view(head_).substr(held_);
            step = Inflate(head, out, room);
            held_ = head_.size() - head.size();
            if (step.Ending != End::More || memberEnded_ || held_ < head_.size()) {
                return step;
            }
        }
        Step rest = Inflate(input, out + step.Written, room - step.Written);
        rest.Written += step.Written;
        return rest;
    }

private:
    bool Start(std::string_view& input) {
        if (!gzip_) {
            while (head_.size() < 2 && !input.empty()) {
                head_ += input.front();
                input.remove_prefix(1);
            }
            if (head_.size() < 2) {
                return false;
            }
        }
        constexpr int kWindowBits = 15;
        constexpr int kGzipWrapper = 16;
        const int bits = gzip_ ? kWindowBits + kGzipWrapper
                               : (IsZlibHeader(static_cast<unsigned char>(head_[0]),
                                               static_cast<unsigned char>(head_[1]))
                                      ? kWindowBits
                                      : -kWindowBits);
        if (inflateInit2(&stream_, bits) != Z_OK) {
            failed_ = true;
            return false;
        }
        ready_ = true;
        return true;
    }

    Step Inflate(std::string_view& input, char* out, std::size_t room) {
        const std::size_t offered = std::min<std::size_t>(input.size(), UINT_MAX);
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        stream_.avail_in = static_cast<uInt>(offered);
        stream_.next_out = reinterpret_cast<Bytef*>(out);
        stream_.avail_out = static_cast<uInt>(std::min<std::size_t>(room, UINT_MAX));
        const uInt roomGiven = stream_.avail_out;
        const int result = room == 0 ? Z_BUF_ERROR : inflate(&stream_, Z_NO_FLUSH);
        input.remove_prefix(offered - stream_.avail_in);
        Step step{roomGiven - stream_.avail_out, End::More};
        if (result == Z_STREAM_END) {
            if (gzip_) {
                memberEnded_ = true;
            } else {
                step.Ending = End::StreamEnd;
            }
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            step.Ending = End::Broken;
        }
        return step;
    }

    const bool gzip_;
    z_stream stream_{};
    bool ready_ = false;
    bool failed_ = false;
    bool memberEnded_ = false;
    // Deflate: its first two bytes, kept until they tell the format.
    std::string head_;
    std::size_t held_ = 0;
};

class BrotliStage final : public Stage {
public:
    Step Decode(std::string_view& input, char* out, std::size_t room) override {
        if (!state_) {
            return {0, End::Broken};
        }
        std::size_t availableIn = input.size();
        const auto* nextIn = reinterpret_cast<const std::uint8_t*>(input.data());
        std::size_t availableOut = room;
        auto* nextOut = reinterpret_cast<std::uint8_t*>(out);
        const BrotliDecoderResult result = BrotliDecoderDecompressStream(
            state_.get(), &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
        input.remove_prefix(input.size() - availableIn);
        Step step{room - availableOut, End::More};
        if (result == BROTLI_DECODER_RESULT_ERROR) {
            step.Ending = End::Broken;
        } else if (result == BROTLI_DECODER_RESULT_SUCCESS) {
            step.Ending = End::StreamEnd;
        }
        return step;
    }

private:
    struct Destroyer {
        void operator()(BrotliDecoderState* state) const { BrotliDecoderDestroyInstance(state); }
    };
    std::unique_ptr<BrotliDecoderState, Destroyer> state_{
        BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)};
};

class ZstdStage final : public Stage {
public:
    ZstdStage() {
        if (context_ && ZSTD_isError(ZSTD_DCtx_setParameter(context_.get(), ZSTD_d_windowLogMax,
                                                            kZstdWindowLogMax))) {
            context_.reset();
        }
    }

    // Frames may follow one another; each is read as it comes.
    Step Decode(std::string_view& input, char* out, std::size_t room) override {
        if (!context_) {
            return {0, End::Broken};
        }
        ZSTD_inBuffer in{input.data(), input.size(), 0};
        ZSTD_outBuffer decoded{out, room, 0};
        const std::size_t result = ZSTD_decompressStream(context_.get(), &decoded, &in);
        input.remove_prefix(in.pos);
        return {decoded.pos, ZSTD_isError(result) ? End::Broken : End::More};
    }

private:
    struct Freer {
        void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
    };
    std::unique_ptr<ZSTD_DCtx, Freer> context_{ZSTD_createDCtx()};
};

// The codings named, in the order they were applied; none for a name not
// known.
std::optional<std::vector<Coding>> CodingsNamed(std::string_view codings) {
    std::vector<Coding> named;
    for (std::size_t start = 0; start <= codings.size();) {
        const std::size_t comma = std::min(codings.find(',', start), codings.size());
        const std::string name = AsciiLowerCase(TrimBlanks(codings.substr(start, comma - start)));
        start = comma + 1;
        if (name.empty() || name == "identity") {
            continue;
        }
        if (name == "gzip" || name == "x-gzip") {
            named.push_back(Coding::Gzip);
        } else if (name == "deflate") {
            named.push_back(Coding::Deflate);
        } else if (name == "br") {
            named.push_back(Coding::Brotli);
        } else if (name == "zstd") {
            named.push_back(Coding::Zstd);
        } else {
            return std::nullopt;
        }
    }
    return named;
}

std::unique_ptr<Stage> StageOf(Coding coding) {
    switch (coding) {
        case Coding::Gzip:
            return std::make_unique<ZlibStage>(true);
        case Coding::Deflate:
            return std::make_unique<ZlibStage>(false);
        case Coding::Brotli:
            return std::make_unique<BrotliStage>();
        case Coding::Zstd:
            return std::make_unique<ZstdStage>();
    }
    return nullptr;
}

}  // namespace

bool NamesContentCoding(std::string_view codings) {
    const std::optional<std::vector<Coding>> named = CodingsNamed(codings);
    return !named || !named->empty();
}

ContentDecoder::ContentDecoder(std::string_view codings, std::size_t limit) : limit_(limit) {
    const std::optional<std::vector<Coding>> named = CodingsNamed(codings);
    if (!named || named->size() > kMaxCodings) {
        state_ = State::Unreadable;
        return;
    }
    for (auto coding = named->rbegin(); coding != named->rend(); ++coding) {
        stages_.push_back(StageOf(*coding));
    }
    if (limit_ == 0) {
        state_ = State::Full;
    }
}

ContentDecoder::~ContentDecoder() = default;

void ContentDecoder::Take(std::string_view input, std::string& out) {
    if (state_ == State::Decoding && out.size() >= limit_) {
        state_ = State::Full;
    }
    Feed(0, input, out);
}

void ContentDecoder::Feed(std::size_t stage, std::string_view input, std::string& out) {
    if (stage == stages_.size()) {
        const std::size_t taken = std::min(limit_ - out.size(), input.size());
        out.append(input.data(), taken);
        if (out.size() >= limit_) {
            state_ = State::Full;
        }
        return;
    }
    Stage& coding = *stages_[stage];
    std::array<char, kPieceBytes> piece{};
    while (state_ == State::Decoding) {
        const std::size_t before = input.size();
        const Stage::Step step = coding.Decode(input, piece.data(), piece.size());
        if (step.Written > 0) {
            // Bytes one coding hands the next are work too: a coding that
            // takes them and gives nothing (empty blocks) must not let the
            // one before it expand without end.
            handedOn_ += step.Written;
            if (handedOn_ > limit_ * kWorkFactor + kPieceBytes) {
                state_ = State::Full;
                return;
            }
            Feed(stage + 1, std::string_view(piece.data(), step.Written), out);
        }
        if (step.Ending == End::Broken && state_ != State::Full) {
            state_ = State::Unreadable;
        } else if (step.Ending == End::StreamEnd) {
            // Whatever follows the end of any coding's data is no part of
            // the body: the decoding is over.
            if (state_ == State::Decoding) {
                state_ = State::Ended;
            }
        } else if (input.empty() ? step.Written < piece.size()
                                 : step.Written == 0 && input.size() == before) {
            // It needs more input, or does nothing with what is there. A
            // step that gave bytes without taking any (the end of a gzip
            // member) is followed by another, so no input is left behind.
            return;
        }
    }
}

}  // namespace vornakle
