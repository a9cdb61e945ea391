#include "fs/file_mapping.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The mapped ranges, read by the signal handler without locks: a slot is
// free when its start is 0. Past 64 files open at once, the others go unguarded.
struct Range {
    std::atomic<std::uintptr_t> start{0};
    std::atomic<std::size_t> size{0};
};
std::array<Range, 64> ranges;
std::mutex registering;
struct sigaction previous {};

void onBusError(int signal, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (const Range& r : ranges) {
        const std::uintptr_t start = r.start.load();
        if (start != 0 && at >= start && at < start + r.size.load()) {
            // A page of zeros where the file's page was; the read goes on.
            const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
            if (::mmap(reinterpret_cast<void*>(at & ~(page - 1)), page, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED)
                return;
        }
    }
    // Not ours: as it would have been without this handler.
    if (previous.sa_flags & SA_SIGINFO)
        previous.sa_sigaction(signal, info, context);
    else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN)
        previous.sa_handler(signal);
    else {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }
}

} // namespace

const char* mapFile(int fd, std::size_t size) {
    void* at = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (at == MAP_FAILED)
        return nullptr;
    const std::lock_guard lock(registering);
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &previous) == 0;
    }();
    (void)installed;
    for (Range& r : ranges) {
        if (r.start.load() == 0) {
            r.size = size;
            r.start = reinterpret_cast<std::uintptr_t>(at);
            break;
        }
    }
    return static_cast<const char*>(at);
}

void unmapFile(const char* data, std::size_t size) {
    {
        const std::lock_guard lock(registering);
        for (Range& r : ranges) {
            if (r.start.load() == reinterpret_cast<std::uintptr_t>(data))
                r.start = 0;
        }
    }
    ::munmap(const_cast<char*>(data), size);
}
