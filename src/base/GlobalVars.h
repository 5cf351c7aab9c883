#pragma once
// Program-wide values and the folders the program works in. Qt-free: the
// core and the command-line tools use it as well as the program.

#include <cstdint>
#include <string>

namespace quillora {

struct TGlobalVars {
    std::string UntitledBase;   // ScreenshotsDir + "/Untitled", no extension
    std::string ScreenshotsDir; // document folder + "/screenshots"
    std::string LastOpenDir;    // last used folder, kept in the settings
    // Last left-button positions seen by the input hook, screen pixels.
    int32_t DownX = 0;
    int32_t UpX = 0;
    int32_t DownY = 0;
    int32_t UpY = 0;
};

// The one program-wide instance.
extern TGlobalVars GlobalVars;

// The user's documents folder (XDG) when it exists, else the home folder,
// followed by "Quillora"; created when missing (one level only). Throws
// "Cannot create <path>" when that fails. Home and XDG settings come from
// the environment (HOME, XDG_DOCUMENTS_DIR, XDG_CONFIG_HOME/user-dirs.dirs).
std::string GetDocumentFolder();

// Fills ScreenshotsDir and UntitledBase from GetDocumentFolder, creating
// the screenshots folder (one level) when missing; "Cannot create <path>"
// on failure.
void InitFolders(TGlobalVars& vars);

// The folder of blank.qlv, capture.wav, click.wav and the help page: beside
// the executable when blank.qlv is there (a build tree), else
// ../share/quillora relative to it (an installed tree). No trailing slash.
std::string ProgramDataFolder();
std::string ProgramDataFolder(const std::string& executablePath);

// Creates one folder level when it does not exist; "Cannot create <path>".
void ForceFolder(const std::string& path);

} // namespace quillora
