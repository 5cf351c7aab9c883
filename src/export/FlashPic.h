#pragma once

#include <string>

#include "export/FlashObj.h"

namespace quillora {

class TFlashPic : public TFlashObj {
  public:
    TFlashPic() : TFlashObj("Pic") {}

    std::string Content;  // full path of the JPEG file
    std::string MovePath; // picture of the "Move" effect, worked out on load
    int32_t Width = 0;
    int32_t Height = 0;

    // The controller's BasePath (project path without extension); MovePath
    // is its folder + ObjName + ".jpg". Bound by the owner; when unbound the
    // file is looked for relative to the current folder.
    const std::string* BasePathRef = nullptr;

    void LoadObject(int32_t index) override;
    // The caller sets Content, MouseX, MouseY, Width, Height and StartTime.
    void AppendToDocument() override;
    void AddToMovie(int32_t index, const TExportTarget& target) override;

    void PlaceStill(const TExportTarget& target);
    void PlaceMoving(const TExportTarget& target);
};

// The folder part of a path, with its trailing "/"; "" when there is none.
std::string FolderWithSeparator(const std::string& path);
// Where a picture with the "Move" effect is read from: the object's name plus
// ".jpg", in the folder of the project's base path.
std::string MovePathOf(const std::string& basePath, const std::string& objName);

} // namespace quillora
