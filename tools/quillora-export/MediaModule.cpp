#include "MediaModule.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Error.h"

namespace quillora {

namespace {

bool IsFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string MediaModulePath(const std::string& executablePath, const char* file)
{
    const size_t slash = executablePath.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : executablePath.substr(0, slash);
    if (IsFile(dir + "/" + file))
        return dir + "/" + file;
    const std::string sub = QUILLORA_MODULE_SUBDIR;
    if (!sub.empty() && sub.front() == '/')
        return sub + "/" + file;
    return dir + "/../" + sub + "/" + file;
}

namespace {

#define QUILLORA_STRING2(x) #x
#define QUILLORA_STRING(x) QUILLORA_STRING2(x)

} // namespace

const TMediaModule& LoadMediaModule(TMediaKind kind)
{
    const bool video = kind == TMediaKind::Video;
    static const TMediaModule* modules[2] = {};
    const TMediaModule*& loaded = modules[video ? 0 : 1];
    if (loaded)
        return *loaded;
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path = MediaModulePath(n > 0 ? std::string(exe, size_t(n)) : "./quillora-export",
                                             video ? kMediaModuleFile : kGuideModuleFile);
    const std::string what = video ? "Cannot write videos: " : "Cannot write guides: ";
    // Kept loaded to the end: the process exits soon after the export.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw Error(what + dlerror());
    using TEntry = const TMediaModule* (*)();
    auto entry =
        reinterpret_cast<TEntry>(dlsym(handle, QUILLORA_STRING(QUILLORA_MEDIA_ENTRY)));
    const TMediaModule* module = entry ? entry() : nullptr;
    if (!module || (video ? !module->ExportVideo : !module->ExportGuide))
        throw Error(what + path + " is not this program's module");
    if (std::string(module->Build) != QUILLORA_MODULE_BUILD)
        throw Error(what + path + " belongs to another build of this program (" + module->Build +
                    ", this is " + QUILLORA_MODULE_BUILD + ")");
    loaded = module;
    return *loaded;
}

} // namespace quillora
