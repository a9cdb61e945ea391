#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads that read beside the one that asks, so that a disk that
// gains from it has several reads in its queue at once. The threads start
// with the first batch that can use them.
class ReadingPool {
public:
    // `readers` in all, the caller's thread among them (1: the caller alone).
    explicit ReadingPool(int readers = 1) : m_readers(readers < 1 ? 1 : readers) {}
    ~ReadingPool();
    ReadingPool(const ReadingPool&) = delete;
    ReadingPool& operator=(const ReadingPool&) = delete;

    int readers() const { return m_readers; }
    // Runs job(i) for every i below `n`, each once, taken in order by
    // whichever reader is free, the caller's thread too; returns when all
    // are done. `job` must not throw.
    void forEach(size_t n, const std::function<void(size_t)>& job);

private:
    void work();
    void drain();

    const int m_readers;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    const std::function<void(size_t)>* m_job = nullptr;
    size_t m_count = 0;
    std::atomic<size_t> m_next{0};
    size_t m_busy = 0;         // threads still on the batch
    std::uint64_t m_batch = 0; // batches handed out so far
    bool m_stop = false;
};

// One thread that runs jobs in the order they are given, beside the thread
// that gives them: a walk goes on listing folders while the files it found
// are read.
class ReadingQueue {
public:
    using Ticket = std::uint64_t;
    ReadingQueue();
    // Runs the jobs still waiting, then ends the thread.
    ~ReadingQueue();
    ReadingQueue(const ReadingQueue&) = delete;
    ReadingQueue& operator=(const ReadingQueue&) = delete;

    // `job` must not throw.
    Ticket add(std::function<void()> job);
    // Returns once the job of `ticket`, and every one before it, has run.
    void wait(Ticket ticket);

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::deque<std::function<void()>> m_jobs;
    Ticket m_added = 0, m_finished = 0;
    bool m_stop = false;
    std::thread m_thread; // last: it starts once the rest is set up
};

// How many readers suit the files below the folder open at `folderFd`: one
// on a spinning disk, where a second reader's seeks cost more than its
// reads gain; four on any other disk, whose queue takes several reads at
// once, or on a network drive, where each read waits for an answer; no
// more than the processors on a file system held in memory, where reading
// is work for the processor alone.
int readersFor(int folderFd);
