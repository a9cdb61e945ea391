#include "compare/reading_pool.h"

#include "fs/file_system_kind.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace {

thread_local DiskTurns* t_turns = nullptr;

} // namespace

DiskTurns::Scope::Scope(DiskTurns* turns) : m_was(std::exchange(t_turns, turns)) {}

DiskTurns::Scope::~Scope() {
    t_turns = m_was;
}

ssize_t readSome(int fd, char* buffer, size_t size) {
    if (t_turns) {
        iovec at{buffer, size};
        const ssize_t n = ::preadv2(fd, &at, 1, -1, RWF_NOWAIT);
        if (n >= 0 || (errno != EAGAIN && errno != EOPNOTSUPP))
            return n;
        const std::lock_guard turn(t_turns->mutex);
        return ::read(fd, buffer, size);
    }
    return ::read(fd, buffer, size);
}

ReadingPool::~ReadingPool() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void ReadingPool::drain() {
    for (size_t i; (i = m_next.fetch_add(1, std::memory_order_relaxed)) < m_count;)
        (*m_job)(i);
}

void ReadingPool::forEach(size_t n, const std::function<void(size_t)>& job) {
    if (m_readers == 1 || n < 2) {
        for (size_t i = 0; i < n; ++i)
            job(i);
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_job = &job;
        m_count = n;
        m_next = 0;
        if (m_threads.empty()) {
            for (int t = 1; t < m_readers; ++t)
                m_threads.emplace_back([this] { work(); });
        }
        m_busy = m_threads.size();
        ++m_batch;
    }
    m_wake.notify_all();
    {
        const DiskTurns::Scope scope(m_turns);
        drain();
    }
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_busy == 0; });
    m_job = nullptr;
}

void ReadingPool::work() {
    const DiskTurns::Scope scope(m_turns);
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_batch != seen; });
            if (m_stop)
                return;
            seen = m_batch;
        }
        drain();
        const std::lock_guard lock(m_mutex);
        if (--m_busy == 0)
            m_done.notify_one();
    }
}

ReadingQueue::ReadingQueue(int threads, DiskTurns* turns) : m_turns(turns) {
    for (int t = 0; t < std::max(threads, 1); ++t)
        m_threads.emplace_back([this] { work(); });
}

ReadingQueue::~ReadingQueue() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

ReadingQueue::Ticket ReadingQueue::add(std::function<void()> job) {
    Ticket ticket = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        ticket = ++m_added;
    }
    m_wake.notify_one();
    return ticket;
}

void ReadingQueue::wait(Ticket ticket) {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_finished >= ticket; });
}

void ReadingQueue::work() {
    const DiskTurns::Scope scope(m_turns);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // stopped, every job run
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        const Ticket ticket = ++m_taken;
        lock.unlock();
        job();
        job = nullptr; // what it holds goes before it counts as run
        lock.lock();
        // Jobs end out of order on several threads: a ticket is waited
        // for until every job up to it has run.
        const size_t ahead = ticket - m_finished - 1;
        if (m_ranAhead.size() <= ahead)
            m_ranAhead.resize(ahead + 1, false);
        m_ranAhead[ahead] = true;
        while (!m_ranAhead.empty() && m_ranAhead.front()) {
            m_ranAhead.pop_front();
            ++m_finished;
        }
        m_done.notify_all();
    }
}

namespace {

// The disk's own word, from the block device the file system lies on (a
// partition's disk is the folder above it); nothing without one.
int rotational(dev_t device) {
    for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
        const std::string path = "/sys/dev/block/" + std::to_string(major(device)) + ':' +
                                 std::to_string(minor(device)) + queue;
        if (FILE* f = std::fopen(path.c_str(), "re")) {
            int value = -1;
            const bool read = std::fscanf(f, "%d", &value) == 1;
            std::fclose(f);
            if (read)
                return value;
        }
    }
    return -1;
}

} // namespace

ReadingPlan readingPlanFor(int folderFd) {
    constexpr int most = 4;
    const int processors = int(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, most));
    struct stat st {};
    if (::fstat(folderFd, &st) != 0)
        return {};
    switch (rotational(st.st_dev)) {
    case 1:
        return {processors, true};
    case 0:
        return {most, false};
    default:
        break;
    }
    constexpr unsigned long tmpfs = 0x01021994, ramfs = 0x858458f6;
    const unsigned long type = fileSystemTypeOf(folderFd);
    if (type == tmpfs || type == ramfs)
        return {processors, false};
    return {most, false};
}

ReadingPlan readingPlanFor(int folderA, int folderB) {
    const ReadingPlan a = readingPlanFor(folderA), b = readingPlanFor(folderB);
    return {std::min(a.readers, b.readers), a.takeTurns || b.takeTurns};
}
