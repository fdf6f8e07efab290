// The decoding read: any bytes as a file, searched with Decompress, against a reference decoder that
// takes the whole input at once (zlib, libbz2, liblzma and libzstd called in their plainest way, and a
// UTF-16 converter of its own). When the scan reports no failure, its entries and counters are those
// of the reference's text searched as a plain file; when it reports damage, its entries are whole
// entries and agree with those as far as both go. The windowed scan and the line-by-line scan of the file
// agree in everything, the position figures included. Memory is bounded by -rss_limit_mb.
//
// Input: byte 0 chooses the line format, the window and Reverse Logic; the rest is the file. The seed
// corpus holds small files of every format, so that the mutations reach inside the decoders.
#include "search/Decoding.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"

#include <bzlib.h>
#include <cstdio>
#include <lzma.h>
#include <string>
#include <vector>
#include <zlib.h>
#include <zstd.h>

#include "FuzzSupport.h"

namespace {

// Larger texts are not compared: the reference holds its text in memory, the scan would take long.
constexpr std::size_t MaxText = std::size_t{8} << 20;

struct MemorySink final : EntrySink {
    std::string bytes;
    void WriteLogLine(std::string_view text) override
    {
        bytes.append(text);
        bytes += '\r';
    }
    void WriteLogEntries(std::string_view entries) override { bytes.append(entries); }
    void DropOpenEntry() override { bytes.erase(bytes.rfind('\r') + 1); }
};

struct RecordingHost final : SearchHost {
    std::vector<std::string> calls;
    std::string failure;
    void SetStatusText(int panel, const std::string& text) override
    {
        calls.push_back(std::to_string(panel) + "|" + text);
    }
    void SetCaption(const std::string&) override { }
    void ShowCaptionAsTitle() override { calls.push_back("title"); }
    std::int64_t FileCount() override { return 0; }
    std::optional<std::string> FileName(std::int64_t) override { return std::nullopt; }
    void FileFailed(const std::string&, const std::string& reason) override
    {
        failure = reason;
        calls.push_back("failed|" + reason);
    }
};

struct Outcome {
    std::string log;
    std::vector<std::string> calls;
    std::string failure;
    std::int64_t lines = 0;
    std::int64_t found = 0;
};

Outcome Run(const SearchRequest& request, const std::string& file, int scan, const FastScanOptions& options)
{
    CancelRequested = false;
    MemorySink sink;
    RecordingHost host;
    SearchRun run(request, sink, host, ",");
    if (scan == 0) {
        run.ScanFileByLines(file);
    } else {
        run.ScanFileFast(file, options);
    }
    return {sink.bytes, host.calls, host.failure, run.Counters().LinesSearched, run.Counters().LinesFound};
}

/// The reference's text and whether the data was whole.
struct Reference {
    std::string text;
    bool whole = true;
    bool tooLarge = false;
};

bool Grow(Reference& ref, std::size_t& used, std::size_t chunk)
{
    if (ref.text.size() >= MaxText) {
        ref.tooLarge = true;
        return false;
    }
    ref.text.resize(used + chunk);
    return true;
}

Reference Gunzip(std::string_view in)
{
    Reference ref;
    std::size_t at = 0;
    std::size_t used = 0;
    while (at < in.size()) {
        if (in[at] == '\0') {
            ++at; // zero padding between or after members
            continue;
        }
        z_stream z{};
        inflateInit2(&z, 16 + MAX_WBITS);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + at));
        z.avail_in = static_cast<uInt>(in.size() - at);
        int result = Z_OK;
        while (result == Z_OK && Grow(ref, used, 1 << 16)) {
            z.next_out = reinterpret_cast<Bytef*>(ref.text.data() + used);
            z.avail_out = 1 << 16;
            result = inflate(&z, Z_FINISH);
            used += (1 << 16) - z.avail_out;
            if (result == Z_BUF_ERROR && z.avail_out == 0) {
                result = Z_OK; // only the output was full
            }
        }
        at = in.size() - z.avail_in;
        inflateEnd(&z);
        if (result != Z_STREAM_END) {
            ref.whole = false;
            break;
        }
    }
    ref.text.resize(used);
    return ref;
}

Reference Bunzip(std::string_view in)
{
    Reference ref;
    std::size_t at = 0;
    std::size_t used = 0;
    while (at < in.size()) {
        if (in[at] == '\0') {
            ++at;
            continue;
        }
        bz_stream b{};
        BZ2_bzDecompressInit(&b, 0, 0);
        b.next_in = const_cast<char*>(in.data() + at);
        b.avail_in = static_cast<unsigned>(in.size() - at);
        int result = BZ_OK;
        while (result == BZ_OK && Grow(ref, used, 1 << 16)) {
            b.next_out = ref.text.data() + used;
            b.avail_out = 1 << 16;
            result = BZ2_bzDecompress(&b);
            used += (1 << 16) - b.avail_out;
            if (result == BZ_OK && b.avail_in == 0 && b.avail_out != 0) {
                result = BZ_UNEXPECTED_EOF; // it wants more than there is
            }
        }
        at = in.size() - b.avail_in;
        BZ2_bzDecompressEnd(&b);
        if (result != BZ_STREAM_END) {
            ref.whole = false;
            break;
        }
    }
    ref.text.resize(used);
    return ref;
}

Reference Unxz(std::string_view in)
{
    Reference ref;
    std::size_t used = 0;
    lzma_stream x = LZMA_STREAM_INIT;
    lzma_stream_decoder(&x, std::uint64_t{128} << 20, LZMA_CONCATENATED);
    x.next_in = reinterpret_cast<const std::uint8_t*>(in.data());
    x.avail_in = in.size();
    lzma_ret result = LZMA_OK;
    while (result == LZMA_OK && Grow(ref, used, 1 << 16)) {
        x.next_out = reinterpret_cast<std::uint8_t*>(ref.text.data() + used);
        x.avail_out = 1 << 16;
        result = lzma_code(&x, LZMA_FINISH);
        used += (1 << 16) - x.avail_out;
    }
    lzma_end(&x);
    ref.whole = result == LZMA_STREAM_END;
    ref.text.resize(used);
    return ref;
}

Reference Unzstd(std::string_view in)
{
    Reference ref;
    std::size_t used = 0;
    ZSTD_DCtx* d = ZSTD_createDCtx();
    ZSTD_DCtx_setParameter(d, ZSTD_d_windowLogMax, 27);
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    std::size_t result = 1;
    while (Grow(ref, used, 1 << 16)) {
        ZSTD_outBuffer output{ref.text.data() + used, 1 << 16, 0};
        result = ZSTD_decompressStream(d, &output, &input);
        used += output.pos;
        if (ZSTD_isError(result) || (input.pos == input.size && output.pos < output.size)) {
            break;
        }
    }
    ZSTD_freeDCtx(d);
    ref.whole = !ZSTD_isError(result) && result == 0;
    ref.text.resize(used);
    return ref;
}

void PutUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

/// Text after a UTF-16 mark, converted; anything else as it is.
std::string FromUtf16(const std::string& bytes)
{
    if (bytes.size() < 2 ||
        !((bytes[0] == '\xff' && bytes[1] == '\xfe') || (bytes[0] == '\xfe' && bytes[1] == '\xff'))) {
        return bytes;
    }
    const bool big = bytes[0] == '\xfe';
    const auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(big ? (a << 8) | b : (b << 8) | a);
    };
    std::string out;
    std::size_t i = 2;
    while (i + 1 < bytes.size()) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00));
            i += 4;
        } else {
            PutUtf8(out, u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
            i += 2;
        }
    }
    if (i < bytes.size()) {
        PutUtf8(out, 0xFFFD); // an odd last byte
    }
    return out;
}

[[noreturn]] void Differs(const std::string& what, const Outcome& got, const Outcome& expected)
{
    fuzz::Fail(what + ": log of " + std::to_string(got.log.size()) + " bytes, expected " +
               std::to_string(expected.log.size()) + "; lines " + std::to_string(got.lines) + ", expected " +
               std::to_string(expected.lines) + "; failure '" + got.failure + "'");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    SearchInputs in;
    in.String1 = "a";
    in.LineFormat = flags & 1 ? LineFormat::Unix : LineFormat::Dos;
    in.ReverseLogic = flags & 2;
    in.LineNumbering = true;
    in.LineCounting = in.ProgressIndication = true;
    in.Decompress = true;
    SearchRequest request = PrepareRequest(in);
    request.RefreshRate = 1 + (flags >> 5);
    static const std::size_t windows[] = {2, 5, 64, std::size_t{1} << 20};
    const FastScanOptions options{windows[(flags >> 2) & 3], (flags & 16) != 0};

    DecodeOptions decode;
    decode.Decompress = decode.Utf16 = true;
    Reference ref;
    switch (DetectEncoding(bytes, decode)) {
    case FileEncoding::Gzip:
        ref = Gunzip(bytes);
        break;
    case FileEncoding::Bzip2:
        ref = Bunzip(bytes);
        break;
    case FileEncoding::Xz:
        ref = Unxz(bytes);
        break;
    case FileEncoding::Zstd:
        ref = Unzstd(bytes);
        break;
    case FileEncoding::Utf16Le:
    case FileEncoding::Utf16Be:
    case FileEncoding::Plain:
        ref.text = bytes;
        break;
    }
    if (ref.tooLarge) {
        return 0;
    }
    ref.text = FromUtf16(ref.text);

    const std::string file = fuzz::WriteFile("packed", data + 1, size - 1);
    const Outcome byLines = Run(request, file, 0, options);
    const Outcome windowed = Run(request, file, 1, options);
    if (windowed.log != byLines.log || windowed.calls != byLines.calls || windowed.lines != byLines.lines) {
        Differs("windowed scan against the line-by-line scan", windowed, byLines);
    }
    SearchRequest plainRequest = request;
    plainRequest.Decompress = false;
    const std::string text =
        fuzz::WriteFile("text", reinterpret_cast<const std::uint8_t*>(ref.text.data()), ref.text.size());
    const Outcome plain = Run(plainRequest, text, 1, {});
    if (windowed.failure.empty()) {
        // Byte 26 ends the text: damage after it is never read.
        const bool endsEarly = ref.text.find('\x1a') != std::string::npos;
        if ((!ref.whole && !endsEarly) || windowed.log != plain.log || windowed.lines != plain.lines ||
            windowed.found != plain.found) {
            Differs("decoded without a failure", windowed, plain);
        }
        return 0;
    }
    if (windowed.failure != DamagedDataReason && windowed.failure != DecoderMemoryReason) {
        Differs("an unexpected failure", windowed, plain);
    }
    if (ref.whole) {
        Differs("whole data reported as damaged", windowed, plain);
    }
    // How much a decoder gives before it finds the damage may depend on how its output is asked for
    // (libbz2 drops the piece it was writing when a block turns out corrupt), so the scan and the
    // reference may stop at different places: the entries they both have must be the same.
    const std::string& shorter = windowed.log.size() < plain.log.size() ? windowed.log : plain.log;
    const std::string& longer = windowed.log.size() < plain.log.size() ? plain.log : windowed.log;
    // Without its last entry, which may be cut where the shorter one stopped.
    const std::size_t lastEnd =
        shorter.size() < 2 ? std::string::npos : shorter.rfind('\r', shorter.size() - 2);
    const std::size_t whole = lastEnd == std::string::npos ? 0 : lastEnd + 1;
    if (longer.compare(0, whole, shorter, 0, whole) != 0 ||
        (!windowed.log.empty() && windowed.log.back() != '\r')) {
        Differs("damaged data gave other entries than the text before the damage", windowed, plain);
    }
    return 0;
}
