#include "base/FileSync.h"

#include <cerrno>
#include <memory>
#include <mutex>

#include <unistd.h>

namespace quillora {

namespace {

std::mutex HookLock;
std::shared_ptr<const TSyncHook> Hook;

} // namespace

void SetSyncHook(TSyncHook hook)
{
    std::lock_guard lock(HookLock);
    Hook = hook ? std::make_shared<const TSyncHook>(std::move(hook)) : nullptr;
}

int SyncFile(int fd, bool withMetadata)
{
    std::shared_ptr<const TSyncHook> hook;
    {
        std::lock_guard lock(HookLock);
        hook = Hook;
    }
    if (hook) {
        // Not under the lock: a slow hook must not hold up other threads.
        if (const int failure = (*hook)(fd)) {
            errno = failure;
            return -1;
        }
    }
    return withMetadata ? ::fsync(fd) : ::fdatasync(fd);
}

} // namespace quillora
