// Path helpers with the program's own rules for extensions: the extension
// is the part of the file name (after the last "/") from its last "." on.
#pragma once

#include <QString>

namespace FileNames {
// "clip" for "/d/clip.qlv"; "/d/my.project" for "/d/my.project.qlv"; a name
// without "." stays whole.
QString RemoveExtension(const QString& path);
// ".qlv" for "/d/clip.qlv"; empty when the name has no ".".
QString Extension(const QString& path);
QString ChangeExtension(const QString& path, const QString& extension);
// The text after the last "/".
QString FileNamePart(const QString& path);
} // namespace FileNames
