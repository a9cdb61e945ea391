#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <pthread.h>

// Tree walks, and the reports and trees they build, recurse once a folder
// level, and a tree may be ten thousand levels deep: far more than the 8 MiB
// a thread's stack usually has. So they run on a thread of their own with a
// stack this large, reserved but only taken as deep as the walk goes.
inline constexpr std::size_t walkStack = std::size_t(512) << 20;

// Runs `walk` there; gives back its result, or throws what it threw.
template <typename Walk> auto onDeepStack(Walk walk) {
    using Result = decltype(walk());
    struct Job {
        Walk& walk;
        std::optional<Result> result;
        std::exception_ptr error;
    } job{walk, {}, {}};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, walkStack);
    pthread_t thread;
    const int failed = pthread_create(
        &thread, &attr,
        [](void* p) -> void* {
            auto* j = static_cast<Job*>(p);
            try {
                j->result.emplace(j->walk());
            } catch (...) {
                j->error = std::current_exception();
            }
            return nullptr;
        },
        &job);
    pthread_attr_destroy(&attr);
    if (failed)
        return walk(); // no such thread to be had: as deep as this one goes
    pthread_join(thread, nullptr);
    if (job.error)
        std::rethrow_exception(job.error);
    return std::move(*job.result);
}
