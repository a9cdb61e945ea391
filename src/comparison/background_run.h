#pragma once

#include <atomic>
#include <functional>

// Runs `work` on a thread of its own while this thread goes on with its
// events, `tick` every 40 ms meanwhile. `cancel` is cleared first and may be
// set meanwhile (by an event), which `work` watches. What `work` throws is
// thrown again here. False when it was stopped.
bool runInBackground(std::atomic<bool>& cancel, const std::function<void()>& work,
                     const std::function<void()>& tick);
