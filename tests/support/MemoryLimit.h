#pragma once

// A scan run in a child process under a memory limit, for the tests that prove memory stays bounded
// whatever the input (lines of any length, decompression bombs). Header only, free of Qt.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// A sanitizer's runtime maps its own shadow memory, so a data limit measures it, not the scan.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool UnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool UnderSanitizer = true;
#else
constexpr bool UnderSanitizer = false;
#endif
#else
constexpr bool UnderSanitizer = false;
#endif

/// Runs scan in a child process whose private writable memory is limited to limitBytes; gives
/// its exit status (0 when scan gave true).
inline int InChildWithMemoryLimit(std::size_t limitBytes, const std::function<bool()>& scan)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{limitBytes, limitBytes};
        if (::setrlimit(RLIMIT_DATA, &limit) != 0) {
            ::_exit(3);
        }
        try {
            ::_exit(scan() ? 0 : 1);
        } catch (...) {
            ::_exit(2); // out of memory, most likely
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

/// The most memory the calling process has had resident so far, in bytes.
inline std::size_t PeakResidentBytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}
