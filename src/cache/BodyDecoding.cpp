#include "cache/BodyDecoding.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include <zlib.h>
#ifdef SNAPSIFT_BROTLI
#include <brotli/decode.h>
#endif
#ifdef SNAPSIFT_ZSTD
#include <zstd.h>
#include <zstd_errors.h>
#endif

#include "cache/CacheBytes.h"

namespace snapsift {

namespace {

using Outcome = DecodedBody::Outcome;
using Bytes = std::span<const std::uint8_t>;

using cachebytes::LowerAscii;
using cachebytes::TrimBlanks;

constexpr std::string_view kDamaged = "its bytes are damaged";
constexpr std::string_view kCutShort = "it is cut short";
constexpr std::string_view kNoStart = "the decoder could not start";
constexpr std::size_t kPiece = kDecodedPieceSize;

std::string TooLarge(std::size_t limit) {
    return "it decodes to more than " +
           (limit >= (1u << 20) ? std::to_string(limit >> 20) + " MiB" : std::to_string(limit) + " bytes");
}

// A zlib header: deflate with a window of at most 32 KiB, and its check bits.
bool StartsLikeZlib(Bytes in) {
    return in.size() >= 2 && (in[0] & 0x0F) == 8 && (in[0] >> 4) <= 7 && (in[0] * 256u + in[1]) % 31 == 0;
}

// What the decoders of one body share: the limit, the sink after the last of them, and the first
// failure, which stops them all.
struct Run {
    Run(std::size_t limit, const DecodedPieceSink& sink) : limit(limit), sink(sink) {}
    std::size_t limit;
    const DecodedPieceSink& sink;
    std::uint64_t decodedSize = 0;
    std::string failedEncoding, problem;
};

// One encoding undone: takes its input in stretches, in order, and hands its output on a piece at
// a time to the decoder of the encoding applied before it, or to the sink after the last.
class Decoder {
public:
    Decoder(std::string name, Run& run) : name_(std::move(name)), run_(run) {}
    virtual ~Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void HandOnTo(Decoder* next) { next_ = next; }
    // Takes the next stretch of input; false once decoding has stopped, here or further on.
    virtual bool Take(Bytes in) = 0;
    // The input has ended: false when the stream has not, or decoding has stopped.
    virtual bool Finish() = 0;

protected:
    bool Fail(std::string_view problem) {
        if (run_.problem.empty()) {
            run_.failedEncoding = name_;
            run_.problem = problem;
        }
        return false;
    }
    // Hands on decoded bytes; the piece that would take them past the limit stops the run.
    bool Pass(Bytes piece) {
        if (!run_.problem.empty()) return false;
        if (piece.empty()) return true;
        if (piece.size() > run_.limit - passed_) return Fail(TooLarge(run_.limit));
        passed_ += piece.size();
        if (next_ != nullptr) return next_->Take(piece);
        run_.sink(piece);
        run_.decodedSize += piece.size();
        return true;
    }

private:
    std::string name_;
    Run& run_;
    Decoder* next_ = nullptr;
    std::size_t passed_ = 0;
};

// zlib's inflate over input taken in stretches, its output handed out a piece at a time. windowBits
// as zlib takes them: 15 + 16 for a gzip stream, 15 for zlib data, -15 for raw deflate. Input after
// the end of the stream is left alone.
class Inflater {
public:
    enum class State { Running, Ended, Damaged, Stopped, NotStarted };

    explicit Inflater(int windowBits) : started_(inflateInit2(&stream_, windowBits) == Z_OK) {
        if (!started_) state_ = State::NotStarted;
    }
    ~Inflater() {
        if (started_) inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    State state() const { return state_; }

    // `out` takes each piece, and returns false to stop.
    template <typename Out>
    State Feed(Bytes in, Out&& out) {
        if (state_ != State::Running) return state_;
        if (piece_.empty()) piece_.resize(kPiece);
        while (!in.empty()) {
            const std::size_t stretch = std::min<std::size_t>(in.size(), 1u << 30);
            stream_.next_in = const_cast<Bytef*>(in.data());
            stream_.avail_in = static_cast<uInt>(stretch);
            in = in.subspan(stretch);
            do {
                stream_.next_out = piece_.data();
                stream_.avail_out = static_cast<uInt>(kPiece);
                const int result = inflate(&stream_, Z_NO_FLUSH);
                const std::size_t made = kPiece - stream_.avail_out;
                if (made > 0 && !out(Bytes(piece_.data(), made))) return state_ = State::Stopped;
                if (result == Z_STREAM_END) return state_ = State::Ended;
                if (result == Z_BUF_ERROR) break;  // every byte taken, nothing more to give
                if (result != Z_OK) return state_ = State::Damaged;
            } while (stream_.avail_in > 0 || stream_.avail_out == 0);
        }
        return state_;
    }

private:
    z_stream stream_{};
    bool started_;
    State state_ = State::Running;
    std::vector<std::uint8_t> piece_;
};

class InflatingDecoder : public Decoder {
protected:
    using Decoder::Decoder;
    // True while the inflater runs or has ended.
    bool Settle(Inflater::State state) {
        switch (state) {
        case Inflater::State::Running:
        case Inflater::State::Ended:
            return true;
        case Inflater::State::Damaged:
            return Fail(kDamaged);
        case Inflater::State::NotStarted:
            return Fail(kNoStart);
        case Inflater::State::Stopped:
            break;
        }
        return false;
    }
    auto Passing() {
        return [this](Bytes piece) { return Pass(piece); };
    }
};

// A gzip stream, and only that: zlib data or raw deflate sent under the name is not decoded. What
// follows the first member (a second member, or anything else) is left alone.
class GzipDecoder final : public InflatingDecoder {
public:
    using InflatingDecoder::InflatingDecoder;

    bool Take(Bytes in) override {
        for (std::size_t at = 0; seen_ < kMagic.size() && at < in.size(); ++at, ++seen_)
            if (in[at] != kMagic[seen_]) return Fail("it is not a gzip stream");
        return Settle(inflater_.Feed(in, Passing()));
    }
    bool Finish() override { return inflater_.state() == Inflater::State::Ended || Fail(kCutShort); }

private:
    static constexpr std::array<std::uint8_t, 2> kMagic{0x1F, 0x8B};
    Inflater inflater_{15 + 16};
    std::size_t seen_ = 0;  // of the magic bytes
};

// Sent as zlib data, as the standard has it, or as raw deflate, as some servers do. Raw deflate is
// decoded when the first two bytes are no zlib header, or when they are but the bytes fail as zlib
// data (not merely cut short) before zlib has made a piece of them or taken as much. Until then the
// input, and what zlib made of it, are held, so that raw deflate can start from the first byte.
class DeflateDecoder final : public InflatingDecoder {
public:
    using InflatingDecoder::InflatingDecoder;

    bool Take(Bytes in) override {
        if (mode_ == Mode::Decoding) return Settle(inflater_->Feed(in, Passing()));
        heldIn_.insert(heldIn_.end(), in.begin(), in.end());
        if (mode_ == Mode::TryingZlib) return TryZlib(in);
        if (heldIn_.size() < 2) return true;
        if (!StartsLikeZlib(heldIn_)) return StartRaw();
        inflater_ = std::make_unique<Inflater>(15);
        mode_ = Mode::TryingZlib;
        return TryZlib(heldIn_);
    }
    bool Finish() override {
        // Fewer than two bytes are no zlib header. zlib data cut short is not tried as raw deflate;
        // raw deflate tried after zlib failed leaves the bytes damaged when it is cut short too.
        if (mode_ == Mode::Opening && !StartRaw()) return false;
        if (inflater_->state() == Inflater::State::Ended) return mode_ == Mode::Decoding || Commit();
        return Fail(fellBack_ ? kDamaged : kCutShort);
    }

private:
    enum class Mode { Opening, TryingZlib, Decoding };

    // Feeds zlib the input just held.
    bool TryZlib(Bytes in) {
        const Inflater::State state = inflater_->Feed(in, [this](Bytes piece) {
            if (mode_ == Mode::Decoding) return Pass(piece);
            heldOut_.insert(heldOut_.end(), piece.begin(), piece.end());
            return heldOut_.size() < kPiece || Commit();
        });
        if (mode_ == Mode::TryingZlib) {
            if (state == Inflater::State::Damaged) return StartRaw();
            if ((state == Inflater::State::Ended || heldIn_.size() >= kPiece) && !Commit()) return false;
        }
        if (mode_ == Mode::Decoding) std::vector<std::uint8_t>().swap(heldIn_);
        return Settle(state);
    }
    // zlib data it is: what it made so far is handed on.
    bool Commit() {
        mode_ = Mode::Decoding;
        std::vector<std::uint8_t> out;
        out.swap(heldOut_);
        for (std::size_t at = 0; at < out.size(); at += kPiece)
            if (!Pass(Bytes(out).subspan(at, std::min(kPiece, out.size() - at)))) return false;
        return true;
    }
    bool StartRaw() {
        fellBack_ = mode_ == Mode::TryingZlib;
        mode_ = Mode::Decoding;
        std::vector<std::uint8_t>().swap(heldOut_);
        std::vector<std::uint8_t> in;
        in.swap(heldIn_);
        inflater_ = std::make_unique<Inflater>(-15);
        return Settle(inflater_->Feed(in, Passing()));
    }

    Mode mode_ = Mode::Opening;
    bool fellBack_ = false;
    std::unique_ptr<Inflater> inflater_;
    std::vector<std::uint8_t> heldIn_, heldOut_;
};

#ifdef SNAPSIFT_BROTLI
class BrotliStreamDecoder final : public Decoder {
public:
    BrotliStreamDecoder(std::string name, Run& run)
        : Decoder(std::move(name), run), state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
    ~BrotliStreamDecoder() override {
        if (state_ != nullptr) BrotliDecoderDestroyInstance(state_);
    }

    bool Take(Bytes in) override {
        if (state_ == nullptr) return Fail(kNoStart);
        if (result_ == BROTLI_DECODER_RESULT_SUCCESS) return true;  // what follows the stream is left alone
        if (piece_.empty()) piece_.resize(kPiece);
        const std::uint8_t* nextIn = in.data();
        std::size_t availableIn = in.size();
        do {
            std::uint8_t* nextOut = piece_.data();
            std::size_t availableOut = kPiece;
            result_ = BrotliDecoderDecompressStream(state_, &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
            if (!Pass(Bytes(piece_.data(), kPiece - availableOut))) return false;
        } while (result_ == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT);
        return result_ != BROTLI_DECODER_RESULT_ERROR || Fail(kDamaged);
    }
    bool Finish() override {
        if (state_ == nullptr) return Fail(kNoStart);
        return result_ == BROTLI_DECODER_RESULT_SUCCESS || Fail(kCutShort);
    }

private:
    BrotliDecoderState* state_;
    BrotliDecoderResult result_ = BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT;
    std::vector<std::uint8_t> piece_;
};
#endif

#ifdef SNAPSIFT_ZSTD
// Every frame to the end of the input. A frame may ask for a window of at most 8 MiB, as a
// browser allows for this encoding; a larger one is not decoded.
class ZstdDecoder final : public Decoder {
public:
    ZstdDecoder(std::string name, Run& run) : Decoder(std::move(name), run), stream_(ZSTD_createDStream()) {
        if (stream_ != nullptr && ZSTD_isError(ZSTD_DCtx_setParameter(stream_, ZSTD_d_windowLogMax, kWindowLog))) {
            ZSTD_freeDStream(stream_);
            stream_ = nullptr;
        }
    }
    ~ZstdDecoder() override {
        if (stream_ != nullptr) ZSTD_freeDStream(stream_);
    }

    bool Take(Bytes in) override {
        if (stream_ == nullptr) return Fail(kNoStart);
        if (piece_.empty()) piece_.resize(kPiece);
        ZSTD_inBuffer input{in.data(), in.size(), 0};
        ZSTD_outBuffer output{piece_.data(), kPiece, 0};
        do {
            output.pos = 0;
            const std::size_t before = input.pos;
            const std::size_t result = ZSTD_decompressStream(stream_, &output, &input);
            if (ZSTD_isError(result))
                return Fail(ZSTD_getErrorCode(result) == ZSTD_error_frameParameter_windowTooLarge
                                ? "it needs a window larger than 8 MiB"
                                : kDamaged);
            frameLeft_ = result;
            if (!Pass(Bytes(piece_.data(), output.pos))) return false;
            if (input.pos == before && output.pos == 0 && input.pos < input.size) return Fail(kDamaged);
            // 0: a frame ends here, with all of it handed on.
        } while (input.pos < input.size || (output.pos == output.size && frameLeft_ != 0));
        return true;
    }
    bool Finish() override {
        if (stream_ == nullptr) return Fail(kNoStart);
        return frameLeft_ == 0 || Fail(kCutShort);  // 0: the last frame is complete
    }

private:
    static constexpr int kWindowLog = 23;
    ZSTD_DStream* stream_;
    std::size_t frameLeft_ = 1;
    std::vector<std::uint8_t> piece_;
};
#endif

bool CanDecode(std::string_view name) {
    return name == "gzip" || name == "x-gzip" || name == "deflate"
#ifdef SNAPSIFT_BROTLI
           || name == "br"
#endif
#ifdef SNAPSIFT_ZSTD
           || name == "zstd"
#endif
        ;
}

std::unique_ptr<Decoder> DecoderFor(const std::string& name, Run& run) {
    if (name == "deflate") return std::make_unique<DeflateDecoder>(name, run);
#ifdef SNAPSIFT_BROTLI
    if (name == "br") return std::make_unique<BrotliStreamDecoder>(name, run);
#endif
#ifdef SNAPSIFT_ZSTD
    if (name == "zstd") return std::make_unique<ZstdDecoder>(name, run);
#endif
    return std::make_unique<GzipDecoder>(name, run);
}

}  // namespace

BodyDecoding DecodeBodyInPieces(std::string_view contentEncoding, std::span<const std::uint8_t> stored,
                                const DecodedPieceSink& sink, std::size_t limit) {
    BodyDecoding decoding;
    // The encodings in the order they were applied.
    std::vector<std::string> encodings;
    for (std::string_view rest = contentEncoding; !rest.empty();) {
        const std::size_t comma = std::min(rest.find(','), rest.size());
        std::string name(TrimBlanks(rest.substr(0, comma)));
        std::transform(name.begin(), name.end(), name.begin(), LowerAscii);
        if (!name.empty() && name != "identity") encodings.push_back(name);
        rest.remove_prefix(std::min(rest.size(), comma + 1));
    }
    if (encodings.empty()) return decoding;
    // An encoding that cannot be undone leaves the stored bytes as the body, whatever the others.
    const auto unknown = std::find_if(encodings.rbegin(), encodings.rend(), [](const std::string& name) {
        return !CanDecode(name);
    });
    if (unknown != encodings.rend() || encodings.size() > kMostEncodings) {
        decoding.outcome = Outcome::Unsupported;
        decoding.note = unknown != encodings.rend()
                            ? "its Content-Encoding \"" + *unknown + "\" cannot be decoded by this build"
                            : "its Content-Encoding names " + std::to_string(encodings.size()) +
                                  " encodings, more than this build decodes";
        decoding.note += ": the stored bytes are given";
        return decoding;
    }

    // Undone from the last applied: each decoder hands on to the one for the encoding before.
    Run run(limit, sink);
    std::vector<std::unique_ptr<Decoder>> decoders;
    for (auto name = encodings.rbegin(); name != encodings.rend(); ++name) {
        decoders.push_back(DecoderFor(*name, run));
        if (decoders.size() > 1) decoders[decoders.size() - 2]->HandOnTo(decoders.back().get());
    }
    bool going = true;
    for (std::size_t at = 0; going && at < stored.size(); at += kPiece)
        going = decoders.front()->Take(stored.subspan(at, std::min(kPiece, stored.size() - at)));
    for (std::size_t i = 0; going && i < decoders.size(); ++i) going = decoders[i]->Finish();

    decoding.decodedSize = run.decodedSize;
    if (going) {
        decoding.outcome = Outcome::Decoded;
    } else {
        decoding.outcome = Outcome::Failed;
        decoding.note = "its " + run.failedEncoding + " body could not be decoded: " + run.problem;
    }
    return decoding;
}

DecodedBody DecodeBody(std::string_view contentEncoding, std::span<const std::uint8_t> stored, std::size_t limit) {
    DecodedBody body;
    BodyDecoding decoding = DecodeBodyInPieces(
        contentEncoding, stored,
        [&body](Bytes piece) { body.bytes.append(reinterpret_cast<const char*>(piece.data()), piece.size()); },
        limit);
    body.outcome = decoding.outcome;
    body.note = std::move(decoding.note);
    if (body.outcome != Outcome::Decoded) std::string().swap(body.bytes);
    return body;
}

}  // namespace snapsift
