// The video encoders and the guide writers of quillora-export live in
// modules of their own, loaded when a video or a guide is written: the
// videos bring FFmpeg's libraries (more than a hundred), the guides cairo's,
// which an SWF movie or --help would otherwise map and relocate at every
// start, and a guide FFmpeg's.
#pragma once

#include <string>

#include "export/ExportReporter.h"
#include "guide/Guide.h"
#include "project/FocusSettings.h"
#include "video/Encoder.h"

namespace quillora {

struct TMediaModule {
    // Both halves are built from one tree; a module of another build is
    // refused instead of called with other layouts.
    const char* Build;
    // Each module fills in its own half; the other is null.
    // The video of the project file at project (base: its path without the
    // extension), as the program's export writes it, with clickPath as every
    // still picture's click.
    void (*ExportVideo)(const std::string& project, const std::string& base,
                        const std::string& target, const std::string& clickPath, IExportReporter* reporter,
                        const video::TEncodeOptions& options, std::string* note,
                        const TFocusOverride& focus);
    guide::TGuideReport (*ExportGuide)(const std::string& project, const std::string& target,
                                       const guide::TGuideOptions& options);
};

// The name of the module's one exported function, which returns its table.
#define QUILLORA_MEDIA_ENTRY quillora_media_module

enum class TMediaKind { Video, Guide };

// The modules' file names.
constexpr const char* kMediaModuleFile = "quillora-media.so";
constexpr const char* kGuideModuleFile = "quillora-guide.so";

// The module of that kind beside the executable (a build tree), else in
// ../QUILLORA_MODULE_SUBDIR from its folder (an installed tree); loaded
// once. Throws Error naming the file and what went wrong.
const TMediaModule& LoadMediaModule(TMediaKind kind);
std::string MediaModulePath(const std::string& executablePath, const char* file);

} // namespace quillora
