#include "ui/MemoryStatus.h"

#include <QFile>
#include <QStringList>
#include <cmath>
#include <sys/sysinfo.h>

std::optional<TMemoryStatus> ParseMemInfo(const QString& text)
{
    // Lines look like "MemTotal:       16318460 kB".
    std::optional<std::uint64_t> total, available, free, buffers, cached;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList parts = line.simplified().split(QLatin1Char(' '));
        if (parts.size() < 2)
            continue;
        bool ok = false;
        const std::uint64_t kb = parts[1].toULongLong(&ok);
        if (!ok)
            continue;
        const QString& key = parts[0];
        if (key == QLatin1String("MemTotal:"))
            total = kb;
        else if (key == QLatin1String("MemAvailable:"))
            available = kb;
        else if (key == QLatin1String("MemFree:"))
            free = kb;
        else if (key == QLatin1String("Buffers:"))
            buffers = kb;
        else if (key == QLatin1String("Cached:"))
            cached = kb;
    }
    if (!total || *total == 0)
        return std::nullopt;
    // Old kernels have no MemAvailable; free + buffers + cache is near it.
    std::uint64_t avail = available ? *available
                                    : free.value_or(0) + buffers.value_or(0) + cached.value_or(0);
    if (avail > *total)
        avail = *total;
    TMemoryStatus status;
    status.TotalPhys = *total * 1024;
    status.MemoryLoad = static_cast<int>(
        std::lround(100.0 * static_cast<double>(*total - avail) / static_cast<double>(*total)));
    return status;
}

TMemoryStatus ReadMemoryStatus()
{
    QFile file(QStringLiteral("/proc/meminfo"));
    if (file.open(QIODevice::ReadOnly)) {
        if (auto status = ParseMemInfo(QString::fromLatin1(file.readAll())))
            return *status;
    }
    struct sysinfo info {};
    TMemoryStatus status;
    if (sysinfo(&info) == 0 && info.totalram > 0) {
        const double unit = info.mem_unit ? info.mem_unit : 1;
        status.TotalPhys = static_cast<std::uint64_t>(info.totalram * unit);
        status.MemoryLoad = static_cast<int>(std::lround(
            100.0 * static_cast<double>(info.totalram - info.freeram) / static_cast<double>(info.totalram)));
    }
    return status;
}

QString FormatPhysMem(std::uint64_t totalBytes, const QLocale& locale)
{
    // The C locale leaves out group separators by default; the figure is
    // always grouped.
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    const auto kb = static_cast<qulonglong>(std::llround(static_cast<double>(totalBytes) / 1024.0));
    return grouped.toString(kb) + QStringLiteral(" KB");
}

QString FormatMemoryLoad(int percent)
{
    return QString::number(percent) + QStringLiteral(" %");
}
