// The machine's memory figures for the about box, read from the kernel.
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

struct TMemoryStatus {
    std::uint64_t TotalPhys = 0; // bytes, the real total (no 32-bit cap)
    int MemoryLoad = 0;          // percent of memory in use, 0 to 100
};

// Parses the text of /proc/meminfo; nothing when it lacks MemTotal.
std::optional<TMemoryStatus> ParseMemInfo(const QString& text);
// The figures of this machine (zero when the kernel does not say).
TMemoryStatus ReadMemoryStatus();

// "523,808 KB": the total in KB, rounded, grouped by the locale.
QString FormatPhysMem(std::uint64_t totalBytes, const QLocale& locale = QLocale());
// "37 %"
QString FormatMemoryLoad(int percent);
