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

std::string MediaModulePath(const std::string& executablePath)
{
    const size_t slash = executablePath.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : executablePath.substr(0, slash);
    if (IsFile(dir + "/" + kMediaModuleFile))
        return dir + "/" + kMediaModuleFile;
    const std::string sub = QUILLORA_MODULE_SUBDIR;
    if (!sub.empty() && sub.front() == '/')
        return sub + "/" + kMediaModuleFile;
    return dir + "/../" + sub + "/" + kMediaModuleFile;
}

namespace {

#define QUILLORA_STRING2(x) #x
#define QUILLORA_STRING(x) QUILLORA_STRING2(x)

} // namespace

const TMediaModule& LoadMediaModule()
{
    static const TMediaModule* loaded = nullptr;
    if (loaded)
        return *loaded;
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path = MediaModulePath(n > 0 ? std::string(exe, size_t(n)) : "./quillora-export");
    const std::string what = "Cannot write videos or guides: ";
    // Kept loaded to the end: the process exits soon after the export.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw Error(what + dlerror());
    using TEntry = const TMediaModule* (*)();
    auto entry =
        reinterpret_cast<TEntry>(dlsym(handle, QUILLORA_STRING(QUILLORA_MEDIA_ENTRY)));
    if (!entry)
        throw Error(what + path + " is not this program's module");
    const TMediaModule* module = entry();
    if (!module || std::string(module->Build) != QUILLORA_MODULE_BUILD)
        throw Error(what + path + " belongs to another build of this program (" +
                    (module ? module->Build : "?") + ", this is " + QUILLORA_MODULE_BUILD + ")");
    loaded = module;
    return *loaded;
}

} // namespace quillora
