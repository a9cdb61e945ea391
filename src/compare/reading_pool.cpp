#include "compare/reading_pool.h"

#include "fs/file_system_kind.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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
    drain();
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_busy == 0; });
    m_job = nullptr;
}

void ReadingPool::work() {
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

ReadingQueue::ReadingQueue() : m_thread([this] { work(); }) {}

ReadingQueue::~ReadingQueue() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
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
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // stopped, every job run
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
        ++m_finished;
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

int readersFor(int folderFd) {
    constexpr int most = 4;
    struct stat st {};
    if (::fstat(folderFd, &st) != 0)
        return 1;
    switch (rotational(st.st_dev)) {
    case 1:
        return 1;
    case 0:
        return most;
    default:
        break;
    }
    constexpr unsigned long tmpfs = 0x01021994, ramfs = 0x858458f6;
    const unsigned long type = fileSystemTypeOf(folderFd);
    if (type == tmpfs || type == ramfs)
        return int(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, most));
    return most;
}
