#pragma once

// Internal to the windowed scan (FastScan.cpp and its units in search/); not part of the engine's API.

#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <sys/mman.h>

namespace FastScan {

// A mapped file that shrinks under us raises SIGBUS on the first access past its new end. The
// handler jumps back to where the scan of that file began, so only code that a jump may abandon
// runs while the guard is armed: it reads the mapping, counts, and copies into memory the scan
// owns. Everything that takes a lock, allocates or owns an object (the sink, the host) runs with
// the guard lifted (OutsideMapping); a fault there is not ours and ends the program as usual.
// Both are constinit so that the units reading them reach them directly, without the call that a
// thread_local which might need starting costs on every use.

/// Where the handler jumps back to; set only while the scan of a mapping reads it.
extern constinit thread_local sigjmp_buf* tMappedReadGuard;
/// The address whose reading faulted, for the jump's receiver.
extern constinit thread_local const void* tFaultAddress;

/// Installs the SIGBUS handler (once per process); faults on a thread without an armed guard still
/// end the program.
void InstallBusErrorHandler();

/// Lifts the guard for the scope of a call out of the scan.
class OutsideMapping {
public:
    OutsideMapping()
        : FSaved(tMappedReadGuard)
    {
        tMappedReadGuard = nullptr;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    ~OutsideMapping()
    {
        std::atomic_signal_fence(std::memory_order_seq_cst);
        tMappedReadGuard = FSaved;
    }
    OutsideMapping(const OutsideMapping&) = delete;
    OutsideMapping& operator=(const OutsideMapping&) = delete;

private:
    sigjmp_buf* FSaved;
};

/// A file open for one scan, and its mapping; both released however the scan ends.
struct ScannedFile {
    int Fd = -1;
    void* Map = MAP_FAILED;
    std::size_t MapSize = 0;

    ScannedFile() = default;
    ScannedFile(const ScannedFile&) = delete;
    ScannedFile& operator=(const ScannedFile&) = delete;
    ~ScannedFile() { Close(); }

    void Close();
};

} // namespace FastScan
