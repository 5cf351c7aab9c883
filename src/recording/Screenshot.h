// Turning captured pixels into a screenshot file: the JPEG encoding and the
// random decimal file name in the screenshots folder.
#pragma once

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>

namespace quillora {

// Baseline colour JPEG of an RGB32 image; quality 90 unless told otherwise.
std::string EncodeJpeg(const QImage& image, int quality = 90);

// Draws a number from 0 to 99999998. The default reseeds from the
// high-resolution clock before each draw.
using TNameSource = std::function<uint32_t()>;
uint32_t ClockSeededName();

// Writes bytes to folder + "/" + N + ".jpg" and returns that path. The file
// is created exclusively: while a file of the drawn name exists, N is drawn
// again, so no earlier screenshot is ever overwritten. Throws
// std::runtime_error with a message for the user when the file cannot be
// written (no partial file is left).
// named() runs once the file's name is taken and before its bytes are
// written, so a note about the file can be on disk first.
std::string WriteScreenshotFile(const std::string& folder, const std::string& bytes,
                                const TNameSource& drawName = ClockSeededName,
                                const std::function<void(const std::string& path)>& named = {});

} // namespace quillora
