// Memory set-up of the process, done first thing in main.
#pragma once

namespace quillora {

// A movie export reads, re-codes and compresses tens of megabytes of
// pictures, and fresh memory faults in 4 KiB at a time: asking the C
// library to back its heap with transparent huge pages makes the whole
// export a third faster. glibc reads that setting only as a program starts,
// so this sets it and starts the program again, once (same process, same
// arguments). It returns without doing anything when the setting is
// already there, when the system has huge pages off, when
// QUILLORA_SMALL_PAGES is set, or when the restart fails.
void RestartWithLargePages(char** argv);

} // namespace quillora
