#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

// Reads that must wait for a spinning disk, taken one at a time, while
// reads the page cache answers go on side by side: the disk sees the
// requests of one reader, the processors the work of several.
class DiskTurns {
public:
    // While it lives, readSome() on this thread takes turns of `turns` (null: none).
    class Scope {
    public:
        explicit Scope(DiskTurns* turns);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        DiskTurns* m_was;
    };
    std::mutex mutex;
};

// One read(2), but where this thread takes turns (DiskTurns::Scope) the
// page cache is asked first, and the disk only in turn.
ssize_t readSome(int fd, char* buffer, size_t size);

// How the files below a pair of folders are best read: by how many readers,
// and whether those take turns at the disk.
struct ReadingPlan {
    int readers = 1;
    bool takeTurns = false;
};

// A few threads that read beside the one that asks, so that a disk that
// gains from it has several reads in its queue at once. The threads start
// with the first batch that can use them.
class ReadingPool {
public:
    // `readers` in all, the caller's thread among them (1: the caller alone).
    explicit ReadingPool(int readers = 1, DiskTurns* turns = nullptr)
        : m_readers(readers < 1 ? 1 : readers), m_turns(turns) {}
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
    DiskTurns* const m_turns;
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

// Threads that run jobs, taken in the order they are given, beside the
// thread that gives them: a walk goes on listing folders while the files it
// found are read. With one thread, each job runs after the one before.
class ReadingQueue {
public:
    using Ticket = std::uint64_t;
    explicit ReadingQueue(int threads = 1, DiskTurns* turns = nullptr);
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

    DiskTurns* const m_turns;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::deque<std::function<void()>> m_jobs;
    Ticket m_added = 0, m_taken = 0;
    Ticket m_finished = 0;       // every job up to this one has run
    std::deque<bool> m_ranAhead; // the jobs after m_finished that have run
    bool m_stop = false;
    std::vector<std::thread> m_threads; // last: they start once the rest is set up
};

// How the files below the folder open at `folderFd` are best read. On a
// spinning disk, where a second reader's seeks cost more than its reads
// gain, the readers take turns at the disk and are as many as the
// processors, for the files the page cache holds; four on any other disk,
// whose queue takes several reads at once, or on a network drive, where
// each read waits for an answer; no more than the processors on a file
// system held in memory, where reading is work for the processor alone.
ReadingPlan readingPlanFor(int folderFd);
// The plan for reading pairs of files, one below each folder.
ReadingPlan readingPlanFor(int folderA, int folderB);
