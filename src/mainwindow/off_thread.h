#pragma once

#include <QWidget>
#include <atomic>
#include <functional>

// Runs `work` on a thread of its own while the window goes on answering,
// `tick` every 40 ms meanwhile. Escape or closing `window` sets `cancel`,
// which `work` watches. What `work` throws is thrown again here. False when
// it was stopped.
bool runOffThread(QWidget* window, std::atomic<bool>& cancel, const std::function<void()>& work,
                  const std::function<void()>& tick);
