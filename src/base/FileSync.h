// Flushing a file being saved to the disk. Every save that must survive a
// crash goes through SyncFile, so benchmarks and tests can make the disk
// slow or failing at exactly that step.
#pragma once

#include <functional>

namespace quillora {

// fdatasync(fd), or fsync(fd) when withMetadata; 0 on success, else -1 with
// errno set, as the system calls do.
int SyncFile(int fd, bool withMetadata = false);

// Runs before every SyncFile, on the thread that syncs. It returns 0 to go
// on with the real flush, or an errno value that the flush then fails with.
// An empty hook (the default) removes it.
using TSyncHook = std::function<int(int fd)>;
void SetSyncHook(TSyncHook hook);

} // namespace quillora
