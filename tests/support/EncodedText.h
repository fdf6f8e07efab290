#pragma once

// Text as files arrive on Linux: compressed by the libraries the tools use (gzip's zlib, bzip2, xz,
// zstd), or written as UTF-16. Header only: the engine's tests link the libraries through the engine.

#include <bzlib.h>
#include <lzma.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <zlib.h>
#include <zstd.h>

/// The compressed formats the scans read.
enum class Packing { Gzip, Bzip2, Xz, Zstd };

inline const char* PackingName(Packing packing)
{
    switch (packing) {
    case Packing::Gzip:
        return "gzip";
    case Packing::Bzip2:
        return "bzip2";
    case Packing::Xz:
        return "xz";
    case Packing::Zstd:
        return "zstd";
    }
    return "?";
}

/// One gzip member holding text.
inline std::string GzipOf(std::string_view text, int level = 6)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return out;
}

/// One bzip2 stream holding text.
inline std::string Bzip2Of(std::string_view text, int blockSize = 9)
{
    std::string out(text.size() + text.size() / 100 + 600, '\0');
    auto size = static_cast<unsigned>(out.size());
    if (BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(text.data()),
                                 static_cast<unsigned>(text.size()), blockSize, 0, 0) != BZ_OK) {
        throw std::runtime_error("BZ2_bzBuffToBuffCompress");
    }
    out.resize(size);
    return out;
}

/// One xz stream holding text.
inline std::string XzOf(std::string_view text, std::uint32_t preset = 6)
{
    std::string out(lzma_stream_buffer_bound(text.size()), '\0');
    std::size_t size = 0;
    if (lzma_easy_buffer_encode(preset, LZMA_CHECK_CRC64, nullptr,
                                reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                reinterpret_cast<uint8_t*>(out.data()), &size, out.size()) != LZMA_OK) {
        throw std::runtime_error("lzma_easy_buffer_encode");
    }
    out.resize(size);
    return out;
}

/// One zstd frame holding text.
inline std::string ZstdOf(std::string_view text, int level = 3)
{
    std::string out(ZSTD_compressBound(text.size()), '\0');
    const std::size_t size = ZSTD_compress(out.data(), out.size(), text.data(), text.size(), level);
    if (ZSTD_isError(size)) {
        throw std::runtime_error("ZSTD_compress");
    }
    out.resize(size);
    return out;
}

/// text in one stream (member, frame) of the format.
inline std::string Pack(Packing packing, std::string_view text)
{
    switch (packing) {
    case Packing::Gzip:
        return GzipOf(text);
    case Packing::Bzip2:
        return Bzip2Of(text);
    case Packing::Xz:
        return XzOf(text);
    case Packing::Zstd:
        return ZstdOf(text);
    }
    return {};
}

/// UTF-16 code units as bytes in either order, after a byte-order mark when mark is set.
inline std::string Utf16Bytes(std::u16string_view units, bool bigEndian, bool mark = true)
{
    std::string out;
    const auto put = [&](char16_t u) {
        const char high = static_cast<char>(u >> 8);
        const char low = static_cast<char>(u & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    if (mark) {
        put(0xFEFF);
    }
    for (const char16_t u : units) {
        put(u);
    }
    return out;
}
