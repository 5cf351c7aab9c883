// The file names the main window's export dialogs accept.
#pragma once

#include <QString>

// Throws an error listing the formats when path's extension names no movie
// format (.swf, .mp4, .webm, .gif); a guide's extension is pointed to
// File > Export Guide.
void CheckMovieName(const QString& path);
