// Work items computed on several threads ahead of one consumer that takes
// the results in order: the writer compresses folders this way while it lays
// out the ones already done.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace cabwriter {

template <typename T>
class OrderedWork {
public:
    // Starts `threads` threads that compute work(0) .. work(count - 1), each
    // item once, lowest index first.
    OrderedWork(size_t count, unsigned threads, std::function<T(size_t)> work)
        : work_(std::move(work)), slots_(count) {
        try {
            for (unsigned i = 0; i < threads && i < count; ++i)
                threads_.emplace_back([this] { run(); });
        } catch (...) {
            stop();  // no thread may outlive a half-built object
            throw;
        }
    }
    ~OrderedWork() { stop(); }
    OrderedWork(const OrderedWork &) = delete;
    OrderedWork &operator=(const OrderedWork &) = delete;

    // Waits for item `index` and hands over its result, or throws what its
    // work threw. Each index is taken once.
    T take(size_t index) {
        std::unique_lock lock(mutex_);
        Slot &slot = slots_[index];
        done_.wait(lock, [&slot] { return slot.done; });
        if (slot.error) std::rethrow_exception(slot.error);
        return std::move(*slot.value);
    }

private:
    // Items not started yet are dropped; running ones are waited for.
    void stop() {
        next_ = slots_.size();
        for (std::thread &t : threads_) t.join();
    }

    struct Slot {
        std::optional<T> value;
        std::exception_ptr error;
        bool done = false;
    };

    void run() {
        for (size_t i; (i = next_++) < slots_.size();) {
            std::optional<T> value;
            std::exception_ptr error;
            try {
                value.emplace(work_(i));
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard lock(mutex_);
                slots_[i].value = std::move(value);
                slots_[i].error = error;
                slots_[i].done = true;
            }
            done_.notify_all();
        }
    }

    const std::function<T(size_t)> work_;
    std::vector<Slot> slots_;
    std::atomic<size_t> next_{0};
    std::mutex mutex_;  // guards the slots' contents
    std::condition_variable done_;
    std::vector<std::thread> threads_;
};

}  // namespace cabwriter
