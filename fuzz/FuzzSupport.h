// What the fuzz targets share: a private folder on a memory file system for the files a target has to
// write (each execution rewrites the same few files). Nothing of Qt, so the engine's targets need none.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fuzz {

/// A folder of this process, removed at exit; on /dev/shm when it is there, so writing costs no disk.
inline const std::filesystem::path& Folder()
{
    static const std::filesystem::path folder = [] {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/sifton-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        std::atexit([] { std::filesystem::remove_all(Folder()); });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

/// Makes Folder() the working folder, for targets whose inputs name files relative to it. The corpus
/// folders, files and artifact paths on libFuzzer's command line are made absolute first, so that they
/// keep meaning what they meant where the fuzzer was started.
inline void EnterFolder(int* argc, char*** argv)
{
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    texts.reserve(static_cast<std::size_t>(*argc));
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        for (const char* prefix : {"", "-artifact_prefix=", "-exact_artifact_path=", "-dict="}) {
            const std::size_t n = std::strlen(prefix);
            const bool isFlag = n > 0 && arg.compare(0, n, prefix) == 0;
            const bool isPath = n == 0 && i > 0 && !arg.empty() && arg[0] != '-';
            if ((isFlag || isPath) && arg.size() > n && arg[n] != '/') {
                arg = arg.substr(0, n) + (std::filesystem::current_path() / arg.substr(n)).string();
                break;
            }
        }
        texts.push_back(arg);
    }
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    *argv = pointers.data();
    if (::chdir(Folder().c_str()) != 0) {
        std::abort();
    }
}

/// Writes bytes to name inside Folder() and gives the full path.
inline std::string WriteFile(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    const std::string path = (Folder() / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

/// A failed property: printed, then the process aborts so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const std::string& what)
{
    std::fprintf(stderr, "property failed: %s\n", what.c_str());
    std::abort();
}

} // namespace fuzz
