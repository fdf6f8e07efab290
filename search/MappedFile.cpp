#include "search/MappedFile.h"

#include "search/FastScan.h"
#include "search/LineReader.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace FastScan {

constinit thread_local sigjmp_buf* tMappedReadGuard = nullptr;
constinit thread_local const void* tFaultAddress = nullptr;

namespace {

    void OnBusError(int signal, siginfo_t* info, void*)
    {
        if (sigjmp_buf* guard = tMappedReadGuard) {
            tMappedReadGuard = nullptr;
            tFaultAddress = info != nullptr ? info->si_addr : nullptr;
            siglongjmp(*guard, 1);
        }
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }

} // namespace

void InstallBusErrorHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action { };
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, nullptr);
    });
}

void ScannedFile::Close()
{
    if (Map != MAP_FAILED) {
        ::munmap(Map, MapSize);
    }
    if (Fd >= 0) {
        ::close(Fd);
    }
    Map = MAP_FAILED;
    Fd = -1;
}

} // namespace FastScan

std::string MappedFaultReason(int fd, std::int64_t offset)
{
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        return SystemReason(errno);
    }
    if (info.st_size <= offset) {
        return std::string(ShortenedFileReason);
    }
    // Still there: the system could not bring that part of the file in. Reading it says why.
    char byte = 0;
    if (::pread(fd, &byte, 1, offset) < 0) {
        return SystemReason(errno);
    }
    return SystemReason(EIO);
}
