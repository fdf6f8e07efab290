#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// How a file's bytes become the text that is searched. Told by the first bytes, never by the name.
enum class FileEncoding { Plain, Gzip, Bzip2, Xz, Zstd, Utf16Le, Utf16Be };

/// What a scan turns into text besides plain bytes.
struct DecodeOptions {
    bool Utf16 = false; ///< a file that begins with a UTF-16 byte-order mark is read as UTF-8
    bool Decompress = false; ///< gzip, bzip2, xz and zstd files are read decompressed
    std::size_t Probe = 0; ///< decoded bytes read at once to tell a binary file (0: none)
};

/// The first bytes a scan looks at to tell the decoded text of a binary file: one holding a NUL here
/// is binary.
inline constexpr std::size_t BinaryProbeSize = 64 * 1024;

/// The bytes DetectEncoding needs to tell every encoding (fewer only when the file is shorter).
inline constexpr std::size_t EncodingMarkSize = 10;

/// The reason given for compressed data that cannot be decoded (damaged, truncated, not what its
/// first bytes promised).
inline constexpr std::string_view DamagedDataReason = "Damaged compressed data";

/// The reason given for compressed data whose decoding would need more memory than a scan allows.
inline constexpr std::string_view DecoderMemoryReason = "Compressed data needs too much memory to decode";

/// The reason a file is not searched under Skip Binary Files.
inline constexpr std::string_view BinarySkippedReason = "Binary file skipped";

/// The encoding the first bytes of a file (all of them when it is shorter than EncodingMarkSize) call
/// for. Compressed formats count only with options.Decompress, UTF-16 only with options.Utf16; a UTF-8
/// mark stays plain.
FileEncoding DetectEncoding(std::string_view head, const DecodeOptions& options);

/// The failure text for a failed read or decode: the system's words for an errno value, or one of the
/// reasons above for the decoders' own codes.
std::string ReadFailureReason(int error);

/// How DecodeFile ended.
enum class CopyEnd {
    Whole, ///< all of the text was written
    Damaged, ///< the text before the damage was written
    ReadFailed, ///< the file could not be opened or read
    WriteFailed, ///< out could not take the text
};

/// Writes the text of the file at path, decoded as options say (a file that needs no decoding as it
/// is; the probe is not made), to the file descriptor out; reason says why it did not end Whole.
CopyEnd DecodeFile(const std::string& path, int out, const DecodeOptions& options, std::string& reason);

/// Whether the first bytes of the file at path call for decoding under options.
bool NeedsDecoding(const std::string& path, const DecodeOptions& options);
