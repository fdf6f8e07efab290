#pragma once

#include "platform/com/Storage.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/// A compound file whose streams all claim one chain of sectors, as a hostile file may have it: adds to
/// storage a stream "Big" of bigBytes and sharers streams of one byte, saves it, then points every
/// one-byte stream's directory entry at Big's sectors with Big's size. A file of a few hundred kilobytes
/// whose streams, each read in full, come to sharers times bigBytes. Empty when it cannot be made.
inline std::vector<std::uint8_t> SharedChainsFile(IStorage* storage, std::size_t bigBytes, int sharers)
{
    const auto put = [storage](const std::string& name, const std::vector<std::uint8_t>& bytes) {
        IStream* stream = nullptr;
        if (FAILED(storage->CreateStream(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                         0, &stream))) {
            return false;
        }
        ULONG written = 0;
        const bool ok = SUCCEEDED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written));
        stream->Release();
        return ok;
    };
    const auto sharerName = [](int i) {
        char name[16];
        std::snprintf(name, sizeof name, "S%04d", i);
        return std::string(name);
    };
    std::vector<std::uint8_t> big(bigBytes);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 13);
    }
    bool ok = put("Big", big);
    for (int i = 0; ok && i < sharers; ++i) {
        ok = put(sharerName(i), {0x5A});
    }
    std::vector<std::uint8_t> file;
    if (!ok || FAILED(SaveToCompoundFile(storage, file))) {
        return {};
    }
    // A directory entry is 128 bytes from a 128-byte boundary: the name in UTF-16LE with its terminator,
    // then at 116 the first sector of the stream's chain and at 120 its size.
    const auto entryOf = [&file](const std::string& name) -> std::size_t {
        std::vector<std::uint8_t> pattern;
        for (const char c : name) {
            pattern.push_back(static_cast<std::uint8_t>(c));
            pattern.push_back(0);
        }
        pattern.push_back(0);
        pattern.push_back(0);
        for (std::size_t at = 512; at + 128 <= file.size(); at += 128) {
            if (std::equal(pattern.begin(), pattern.end(), file.begin() + static_cast<std::ptrdiff_t>(at))) {
                return at;
            }
        }
        return 0;
    };
    const std::size_t bigEntry = entryOf("Big");
    if (bigEntry == 0) {
        return {};
    }
    for (int i = 0; i < sharers; ++i) {
        const std::size_t entry = entryOf(sharerName(i));
        if (entry == 0) {
            return {};
        }
        std::copy(file.begin() + static_cast<std::ptrdiff_t>(bigEntry + 116),
                  file.begin() + static_cast<std::ptrdiff_t>(bigEntry + 128),
                  file.begin() + static_cast<std::ptrdiff_t>(entry + 116));
    }
    return file;
}
