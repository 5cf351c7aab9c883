// The disk side of a recording: screenshot files and project saves, done one
// after another on a thread of their own, so the interface thread never
// waits for a flush. The queue never touches a document: project saves come
// as finished bytes.
#pragma once

#include "project/Recovery.h"
#include "recording/Screenshot.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quillora {

class TDiskQueue {
  public:
    struct TDone {
        uint64_t Ticket = 0;
        bool Picture = false; // a screenshot file; otherwise a project save
        std::string Path;     // the screenshot's file, or the project file
        std::string Error;    // the message for the user; empty on success
        int64_t Tag = 0;      // what the caller attached to the job
    };

    // wake runs on the disk thread after jobs finished; it only has to make
    // the owner call Take() on its own thread. It is not called again until
    // Take() has been called.
    explicit TDiskQueue(std::function<void()> wake = {});
    // Finishes every job already queued before it returns.
    ~TDiskQueue();
    TDiskQueue(const TDiskQueue&) = delete;
    TDiskQueue& operator=(const TDiskQueue&) = delete;

    // Writes bytes as a new screenshot file in folder (WriteScreenshotFile).
    // With a note, the note follows beside the file (its size filled in),
    // flushed before the job is reported, so before the project save that
    // puts the picture into the project: a picture on disk can always be
    // put back after a crash.
    uint64_t WritePicture(std::string folder, std::string bytes, TNameSource drawName,
                          std::optional<TCaptureNote> note = std::nullopt);
    // Replaces path atomically with bytes (WriteFileAtomic). A save that a
    // later queued save of the same file would overwrite anyway is skipped
    // and not reported: the later one's report stands for both.
    uint64_t SaveFile(std::string path, std::string bytes, int64_t tag = 0);

    // Finished jobs, in the order they were queued.
    std::vector<TDone> Take();
    // Blocks until finished jobs wait to be taken (true) or nothing is queued
    // or running any more (false).
    bool WaitForDone();
    // Jobs queued or running, not counting those finished and not taken.
    size_t Pending() const;

  private:
    struct TJob {
        uint64_t Ticket;
        bool Picture;
        std::string Path; // folder of a picture, file of a save
        std::string Bytes;
        TNameSource DrawName;
        int64_t Tag;
        std::optional<TCaptureNote> Note;
    };
    uint64_t Queue(TJob job);
    void Run();
    TDone Do(TJob& job);

    std::function<void()> Wake;
    mutable std::mutex Lock;
    std::condition_variable Changed;
    std::deque<TJob> Jobs;
    std::vector<TDone> Finished;
    uint64_t NextTicket = 1;
    bool Running = false; // a job is being done outside the lock
    bool WakePending = false;
    bool Quit = false;
    std::thread Thread;
};

} // namespace quillora
