// A disk whose flushes wait until the test lets them through, and fail
// where the test says: the file being flushed is looked up by its
// descriptor, so a test can fail "the second screenshot" exactly.
#pragma once

#include "base/FileSync.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include <unistd.h>

class TDiskGate {
  public:
    TDiskGate()
    {
        quillora::SetSyncHook([this](int fd) { return Pass(fd); });
    }
    // Whoever flushes must be gone by now (declare the gate before them).
    ~TDiskGate()
    {
        Open();
        quillora::SetSyncHook({});
    }

    void Close()
    {
        std::lock_guard lock(Lock);
        Closed = true;
    }
    void Open()
    {
        {
            std::lock_guard lock(Lock);
            Closed = false;
        }
        Changed.notify_all();
    }
    // The n-th screenshot flushed from now on (counting from 1) fails with EIO.
    void FailPicture(int n)
    {
        std::lock_guard lock(Lock);
        FailPictures.insert(Pictures + n);
    }
    // A flush waited in vain for the gate to open.
    bool StuckClosed() const
    {
        std::lock_guard lock(Lock);
        return Stuck;
    }

  private:
    int Pass(int fd)
    {
        char link[64];
        char target[4096] = {};
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = ::readlink(link, target, sizeof target - 1);
        const std::string path(target, n > 0 ? size_t(n) : 0);
        std::unique_lock lock(Lock);
        // Long enough for any machine; a flush still held then is a fault
        // (someone waits for the disk while holding the gate's opener), and
        // the gate stays open from then on.
        if (!Stuck && !Changed.wait_for(lock, std::chrono::seconds(5), [this] { return !Closed; }))
            Stuck = true;
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".jpg") == 0)
            if (FailPictures.count(++Pictures))
                return EIO;
        return 0;
    }

    mutable std::mutex Lock;
    std::condition_variable Changed;
    bool Closed = false;
    bool Stuck = false;
    int Pictures = 0;
    std::set<int> FailPictures;
};
