#include "compare/reading_pool.h"
#include "fs/unique_fd.h"
#include "support/temp_tree.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// With several threads jobs end out of order; a ticket is waited for until
// every job up to it has run, however many given after it ended first.
TEST(ReadingQueue, ATicketWaitsForEveryJobUpToItWhicheverEndsFirst) {
    ReadingQueue queue(3);
    std::promise<void> open, laterRan;
    const std::shared_future<void> gate = open.get_future().share();
    std::atomic<bool> firstRan{false};
    std::atomic<int> ran{0};
    const ReadingQueue::Ticket first = queue.add([&, gate] {
        gate.wait();
        firstRan = true;
    });
    constexpr int later = 4;
    ReadingQueue::Ticket last = 0;
    for (int i = 0; i < later; ++i)
        last = queue.add([&] {
            if (++ran == later)
                laterRan.set_value();
        });
    ASSERT_EQ(laterRan.get_future().wait_for(30s), std::future_status::ready);
    std::future<bool> waiter = std::async(std::launch::async, [&] {
        queue.wait(first);
        return firstRan.load();
    });
    EXPECT_EQ(waiter.wait_for(100ms), std::future_status::timeout);
    open.set_value();
    EXPECT_TRUE(waiter.get());
    queue.wait(last);
    EXPECT_EQ(ran, later);
}

// Whether every page of an open file is in the page cache, asked without
// reading it.
bool cached(int fd, size_t size) {
    void* const map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return false;
    std::vector<unsigned char> pages((size + 4095) / 4096);
    const bool asked = ::mincore(map, size, pages.data()) == 0;
    ::munmap(map, size);
    return asked && std::all_of(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; });
}

// A read the page cache answers goes on while another reader holds the
// disk's turn; one that must wait for the disk waits for the turn first.
TEST(DiskTurns, OnlyReadsThatWaitForTheDiskTakeTurns) {
    TempTree t;
    constexpr size_t size = 256 * 1024;
    const QByteArray bytes(qsizetype(size), 'b');
    t.write(QStringLiteral("cached"), bytes);
    t.write(QStringLiteral("evicted"), bytes);
    const UniqueFd hot{::open(QFile::encodeName(t.filePath("cached")).constData(), O_RDONLY)};
    const UniqueFd cold{::open(QFile::encodeName(t.filePath("evicted")).constData(), O_RDONLY)};
    ASSERT_TRUE(hot.fd >= 0 && cold.fd >= 0);
    ::fdatasync(cold.fd);
    ::posix_fadvise(cold.fd, 0, 0, POSIX_FADV_DONTNEED);
    if (!cached(hot.fd, size) || cached(cold.fd, size))
        GTEST_SKIP() << "this file system does not let a file's pages go";
    DiskTurns turns;
    std::future<ssize_t> fromCache, fromDisk; // their readers end once `held` lets go
    std::unique_lock held(turns.mutex);
    auto read = [&turns](int fd) {
        return std::async(std::launch::async, [&turns, fd] {
            const DiskTurns::Scope scope(&turns);
            std::vector<char> buffer(size);
            return readSome(fd, buffer.data(), size);
        });
    };
    fromCache = read(hot.fd);
    ASSERT_EQ(fromCache.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(fromCache.get(), ssize_t(size));
    fromDisk = read(cold.fd);
    EXPECT_EQ(fromDisk.wait_for(100ms), std::future_status::timeout);
    held.unlock();
    ASSERT_EQ(fromDisk.wait_for(30s), std::future_status::ready);
    EXPECT_GT(fromDisk.get(), 0);
}

} // namespace
