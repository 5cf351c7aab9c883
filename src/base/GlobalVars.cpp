#include "base/GlobalVars.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Error.h"

#ifndef QUILLORA_DATA_SUBDIR
#define QUILLORA_DATA_SUBDIR "share/quillora"
#endif

namespace quillora {

TGlobalVars GlobalVars;

namespace {

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string EnvOr(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string HomeFolder()
{
    if (const char* h = std::getenv("HOME"); h && *h)
        return h;
    if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string WithoutTrailingSlash(std::string p)
{
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: a line such as
// XDG_DOCUMENTS_DIR="$HOME/Documents" (only $HOME is expanded there).
std::string DocumentsFromUserDirs(const std::string& home)
{
    std::string config = EnvOr("XDG_CONFIG_HOME", home + "/.config");
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        std::string value = line.substr(start + key.size());
        if (value.size() >= 2 && value.front() == '"') {
            size_t close = value.find('"', 1);
            value = value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        }
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (!value.empty() && value.front() == '/')
            return value;
    }
    return {};
}

} // namespace

void ForceFolder(const std::string& path)
{
    if (IsFolder(path))
        return;
    if (mkdir(path.c_str(), 0777) != 0 && !(errno == EEXIST && IsFolder(path)))
        throw Error("Cannot create " + path);
}

std::string GetDocumentFolder()
{
    std::string home = WithoutTrailingSlash(HomeFolder());
    std::string docs = EnvOr("XDG_DOCUMENTS_DIR", "");
    if (docs.empty())
        docs = DocumentsFromUserDirs(home);
    if (docs.empty())
        docs = home + "/Documents";
    docs = WithoutTrailingSlash(docs);
    std::string base = IsFolder(docs) ? docs : home;
    std::string folder = (base == "/" ? "" : base) + "/Quillora";
    ForceFolder(folder);
    return folder;
}

void InitFolders(TGlobalVars& vars)
{
    vars.ScreenshotsDir = GetDocumentFolder() + "/screenshots";
    vars.UntitledBase = vars.ScreenshotsDir + "/Untitled";
    ForceFolder(vars.ScreenshotsDir);
}

std::string ProgramDataFolder(const std::string& executablePath)
{
    std::string dir = executablePath.substr(0, executablePath.find_last_of('/') == std::string::npos
                                                   ? 0
                                                   : executablePath.find_last_of('/'));
    if (dir.empty())
        dir = executablePath.rfind('/', 0) == 0 ? "" : ".";
    if (IsFile(dir + "/blank.qlv"))
        return dir.empty() ? "/" : dir;
    const std::string sub = QUILLORA_DATA_SUBDIR;
    if (!sub.empty() && sub.front() == '/')
        return sub; // an absolute data dir was configured
    return dir + "/../" + sub;
}

std::string ProgramDataFolder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    return ProgramDataFolder(std::string(buf, size_t(n)));
}

} // namespace quillora
