#include "app/FileNames.h"

namespace {
// Index of the extension's ".", or -1 when the file name has none.
qsizetype ExtensionStart(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? dot : -1;
}
} // namespace

namespace FileNames {
QString RemoveExtension(const QString& path)
{
    const qsizetype dot = ExtensionStart(path);
    return dot < 0 ? path : path.left(dot);
}

QString Extension(const QString& path)
{
    const qsizetype dot = ExtensionStart(path);
    return dot < 0 ? QString() : path.mid(dot);
}

QString ChangeExtension(const QString& path, const QString& extension)
{
    return RemoveExtension(path) + extension;
}

QString FileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}
} // namespace FileNames
