#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "swf/Workers.h"

namespace swf {

namespace {

class Pool {
public:
    static Pool& Get() {
        static Pool pool;
        return pool;
    }

    void Submit(std::function<void()> run, Workers::Kind kind) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bool bounded = kind == Workers::Kind::Bounded;
            if (!threads_.empty() && (!bounded || boundedQueued_ < kMaxBounded)) {
                queue_.push_back({std::move(run), bounded});
                if (bounded) ++boundedQueued_;
                cv_.notify_one();
                return;
            }
        }
        run();
    }

    bool RunOne() {
        Item item;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return false;
            item = TakeFront();
        }
        item.run();
        return true;
    }

    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        for (auto& t : threads_) t.join();
    }

private:
    static constexpr int kMaxBounded = 4;
    struct Item {
        std::function<void()> run;
        bool bounded;
    };

    Pool() {
        unsigned n = std::thread::hardware_concurrency();
        for (unsigned i = 1; i < std::max(2u, n); ++i) threads_.emplace_back([this] { Loop(); });
    }

    void Loop() {
        for (;;) {
            Item item;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (queue_.empty()) return;
                item = TakeFront();
            }
            item.run();
        }
    }

    // With the mutex held and the queue not empty.
    Item TakeFront() {
        Item item = std::move(queue_.front());
        queue_.pop_front();
        if (item.bounded) --boundedQueued_;
        return item;
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Item> queue_;
    int boundedQueued_ = 0;
    std::vector<std::thread> threads_;
    bool stop_ = false;
};

}  // namespace

bool Workers::RunOneQueued() { return Pool::Get().RunOne(); }

void Workers::Submit(std::function<void()> run, Kind kind) { Pool::Get().Submit(std::move(run), kind); }

}  // namespace swf
