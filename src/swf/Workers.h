// Work beside the export: picture checks read ahead and lossless re-coding.
// A job runs once, on whichever thread gets to it first: a worker, or the
// thread that needs its result and finds it not yet started, so a caller
// never sits idle waiting for a job still in the queue.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>

namespace swf {

template <typename T>
class Job;

// The worker threads, one fewer than the cores (at least one).
class Workers {
public:
    // Queues the job. Re-coding jobs (bounded) hold large parsed scans: when
    // several already wait, the caller runs this one at once instead, which
    // bounds memory and keeps every core busy. Read-ahead jobs are always
    // queued; their caller bounds how many it starts.
    enum class Kind { Bounded, ReadAhead };
    static void Submit(std::function<void()> run, Kind kind);

    // Runs one queued job on the calling thread; false when none waits.
    static bool RunOneQueued();

    template <typename T>
    static std::shared_ptr<Job<T>> Run(std::function<T()> fn, Kind kind = Kind::Bounded);
};

template <typename T>
class Job {
public:
    explicit Job(std::function<T()> fn) : fn_(std::move(fn)), result_(promise_.get_future().share()) {}

    // Runs the job unless it has started already (or was cancelled). What the
    // function holds is let go as soon as it returns.
    void TryRun() {
        if (started_.exchange(true)) return;
        auto fn = std::move(fn_);
        try {
            promise_.set_value(fn());
        } catch (...) {
            promise_.set_exception(std::current_exception());
        }
    }
    // The result, running the job here when nobody has started it. While
    // another thread runs it, this one takes other queued work meanwhile.
    const T& Get() {
        TryRun();
        while (result_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            if (!Workers::RunOneQueued()) {
                result_.wait();
                break;
            }
        }
        return result_.get();
    }
    // Drops a job nobody needs any more; one already running finishes.
    void Cancel() {
        if (started_.exchange(true)) return;
        std::function<T()>().swap(fn_);
        promise_.set_exception(std::make_exception_ptr(std::runtime_error("cancelled")));
    }

private:
    std::atomic<bool> started_{false};
    std::function<T()> fn_;
    std::promise<T> promise_;
    std::shared_future<T> result_;
};

template <typename T>
std::shared_ptr<Job<T>> Workers::Run(std::function<T()> fn, Kind kind) {
    auto job = std::make_shared<Job<T>>(std::move(fn));
    Submit([job] { job->TryRun(); }, kind);
    return job;
}

}  // namespace swf
