#pragma once

#include "search/Decoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

/// The text of a file, read in place by offset: what the viewer and the console's context lines read.
/// A file kept in another form (compressed, UTF-16) is read through a source that gives its text, so
/// every reader sees the lines the search saw.
class TextSource {
public:
    virtual ~TextSource() = default;

    /// Up to size bytes of the text from offset into buffer: the count read, 0 at the end of the text,
    /// -1 when reading failed (FailReason says why). A short count before the end is allowed.
    virtual std::int64_t Read(std::int64_t offset, char* buffer, std::size_t size) = 0;

    /// The length of the text when it is known beforehand (a plain file's size at opening); -1 when
    /// only reading to the end tells it (a decoded text).
    virtual std::int64_t Size() const = 0;

    /// Where the next bytes that are not a hole begin, at or after offset: a sparse file's holes read
    /// as zeros, so a reader that only looks for line ends may pass them by. offset itself when the
    /// source knows of no holes.
    virtual std::int64_t NextData(std::int64_t offset) { return offset; }

    /// Why the last read failed.
    const std::string& FailReason() const { return FFailReason; }

protected:
    std::string FFailReason;
};

/// Opens the text of the file at path. This is the one place where a file becomes text to read in
/// place: a file whose first bytes call for decoding under options (compressed, UTF-16; see
/// DecodeOptionsOf for a run's) is read as the text a search of it reads. Only regular files are
/// opened (a FIFO or a device would hold the reader forever); nullptr with reason otherwise.
std::unique_ptr<TextSource> OpenTextSource(const std::string& path, std::string& reason,
                                           const DecodeOptions& options = {});
