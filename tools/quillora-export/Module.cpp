// The module side of MediaModule.h: the videos of quillora-export, or with
// QUILLORA_GUIDE_MODULE its guides.
#include "MediaModule.h"

#ifndef QUILLORA_GUIDE_MODULE
#include "export/SwfWriters.h"
#include "project/MovieFormats.h"

#include "ExportProject.h"
#endif

namespace {

#ifndef QUILLORA_GUIDE_MODULE

void ExportVideo(const std::string& project, const std::string& base,
                 const std::string& target, const std::string& clickPath, IExportReporter* reporter,
                 const video::TEncodeOptions& options, std::string* note,
                 const quillora::TFocusOverride& focus)
{
    using namespace quillora;
    TExportProject opened(project, base, clickPath);
    TSwfWriterSet writers;
    ExportMovieFile(opened.Card, target, writers.Writers(), reporter, options, note, focus);
}

const quillora::TMediaModule Module{QUILLORA_MODULE_BUILD, ExportVideo, nullptr};
#else
const quillora::TMediaModule Module{QUILLORA_MODULE_BUILD, nullptr, guide::ExportGuide};
#endif

} // namespace

extern "C" __attribute__((visibility("default"))) const quillora::TMediaModule*
QUILLORA_MEDIA_ENTRY()
{
    return &Module;
}
