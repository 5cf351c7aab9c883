#include "recording/DiskQueue.h"

#include "document/XMLDocument.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <utility>

#include <pthread.h>
#include <sched.h>

namespace quillora {

TDiskQueue::TDiskQueue(std::function<void()> wake) : Wake(std::move(wake))
{
    Thread = std::thread([this] { Run(); });
}

TDiskQueue::~TDiskQueue()
{
    {
        std::lock_guard lock(Lock);
        Quit = true;
    }
    Changed.notify_all();
    Thread.join();
}

uint64_t TDiskQueue::WritePicture(std::string folder, std::string bytes, TNameSource drawName,
                                  std::optional<TCaptureNote> note)
{
    return Queue(
        {0, true, std::move(folder), std::move(bytes), std::move(drawName), 0, std::move(note)});
}

uint64_t TDiskQueue::SaveFile(std::string path, std::string bytes, int64_t tag)
{
    return Queue({0, false, std::move(path), std::move(bytes), {}, tag, std::nullopt});
}

uint64_t TDiskQueue::Queue(TJob job)
{
    uint64_t ticket;
    {
        std::lock_guard lock(Lock);
        ticket = job.Ticket = NextTicket++;
        Jobs.push_back(std::move(job));
    }
    Changed.notify_all();
    return ticket;
}

std::vector<TDiskQueue::TDone> TDiskQueue::Take()
{
    std::lock_guard lock(Lock);
    WakePending = false;
    return std::exchange(Finished, {});
}

bool TDiskQueue::WaitForDone()
{
    std::unique_lock lock(Lock);
    Changed.wait(lock, [this] { return !Finished.empty() || (Jobs.empty() && !Running); });
    return !Finished.empty();
}

size_t TDiskQueue::Pending() const
{
    std::lock_guard lock(Lock);
    return Jobs.size() + (Running ? 1 : 0);
}

void TDiskQueue::Run()
{
    // Waking this thread must not take the processor from the thread that
    // queued the work: it waits for the disk anyway. Where the policy is not
    // allowed, it stays as it was.
    sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &normal);
    std::unique_lock lock(Lock);
    for (;;) {
        // Quit only once the queue is empty: nothing taken is ever dropped.
        Changed.wait(lock, [this] { return Quit || !Jobs.empty(); });
        if (Jobs.empty())
            return;
        TJob job = std::move(Jobs.front());
        Jobs.pop_front();
        if (!job.Picture && std::any_of(Jobs.begin(), Jobs.end(), [&](const TJob& later) {
                return !later.Picture && later.Path == job.Path;
            }))
            continue;
        Running = true;
        lock.unlock();
        TDone done = Do(job);
        lock.lock();
        Running = false;
        Finished.push_back(std::move(done));
        const bool wake = !WakePending && Wake;
        WakePending = true;
        Changed.notify_all();
        if (wake) {
            lock.unlock();
            Wake();
            lock.lock();
        }
    }
}

TDiskQueue::TDone TDiskQueue::Do(TJob& job)
{
    TDone done;
    done.Ticket = job.Ticket;
    done.Picture = job.Picture;
    done.Tag = job.Tag;
    std::string noted; // the picture whose note is on disk
    try {
        if (job.Picture) {
            // The note goes first: a kill at any moment then leaves either
            // no note or one that tells whether the picture is whole.
            const auto note = [&job, &noted](const std::string& path) {
                if (!job.Note)
                    return;
                job.Note->Bytes = job.Bytes.size();
                try {
                    WriteCaptureNote(path, *job.Note);
                    noted = path;
                } catch (const std::exception&) {
                    // The picture still goes into the project with the next
                    // save; only a crash before it would lose it, as before.
                }
            };
            done.Path = WriteScreenshotFile(job.Path, job.Bytes,
                                            job.DrawName ? job.DrawName : ClockSeededName, note);
        } else {
            done.Path = job.Path;
            WriteFileAtomic(job.Path, job.Bytes);
        }
    } catch (const std::exception& error) {
        // No note outlives the picture it speaks of.
        if (!noted.empty()) {
            std::error_code ec;
            std::filesystem::remove(CaptureNotePath(noted), ec);
        }
        done.Error = error.what();
        if (done.Error.empty())
            done.Error = "Cannot write " + job.Path;
    }
    return done;
}

} // namespace quillora
