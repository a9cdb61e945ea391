#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
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

// How many readers suit the files below the folder open at `folderFd`: one
// on a spinning disk, where a second reader's seeks cost more than its
// reads gain; four on any other disk, whose queue takes several reads at
// once, or on a network drive, where each read waits for an answer; no
// more than the processors on a file system held in memory, where reading
// is work for the processor alone.
int readersFor(int folderFd);
