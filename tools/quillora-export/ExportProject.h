// A project opened for an export: the document, its movie and the movie
// controller bound to it, as quillora-export and its video module both
// need them.
#pragma once

#include <string>

#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "project/FlashCard.h"

namespace quillora {

struct TExportProject {
    // project: the file; base: its path without the extension; clickPath:
    // every still picture's click.
    TExportProject(const std::string& project, const std::string& base, const std::string& clickPath)
        : Doc(project), Movie(GetMovie(Doc)), Card(base, nullptr)
    {
        Card.BindMovie(&Movie);
        Card.ClickSoundPath = clickPath;
    }
    TExportProject(const TExportProject&) = delete;
    TExportProject& operator=(const TExportProject&) = delete;

    TXMLDocument Doc;
    IXMLMovie Movie;
    TFlashCard Card;
};

} // namespace quillora
