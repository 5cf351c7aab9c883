#include "base/TempFile.h"

#include "base/Error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace quillora {

namespace {

[[noreturn]] void Refuse(const std::string& kind, const std::string& target, const std::string& why)
{
    throw Error("Cannot write the " + kind + " \"" + target + "\": " + why);
}

// The folder a file name lands in.
std::string FolderOf(const std::string& target)
{
    const size_t slash = target.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : target.substr(0, slash);
}

// A folder as the target would only be found at the rename, after all the work.
void CheckNotFolder(const std::string& kind, const std::string& target)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        Refuse(kind, target, "it is a folder");
}

} // namespace

void TTempFile::CheckTarget(const std::string& target, const std::string& kind)
{
    if (target.empty())
        Refuse(kind, target, "no file name");
    CheckNotFolder(kind, target);
    const std::string folder = FolderOf(target);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        Refuse(kind, target, errno == ENOENT ? "the folder \"" + folder + "\" does not exist"
                                       : std::string(std::strerror(errno)));
    if (!S_ISDIR(st.st_mode))
        Refuse(kind, target, "\"" + folder + "\" is not a folder");
    // Only a file made there tells for sure (permissions, a read-only
    // file system, quotas, the user's own rights).
    std::string probe = target + ".XXXXXX";
    int fd = mkstemp(probe.data());
    if (fd < 0)
        Refuse(kind, target, std::strerror(errno));
    ::close(fd);
    ::unlink(probe.c_str());
}

TTempFile::TTempFile(const std::string& target, std::string kind)
    : Target(target), Kind(std::move(kind))
{
    if (target.empty())
        Fail("no file name");
    CheckNotFolder(Kind, target);
    Tmp = target + ".XXXXXX";
    int fd = mkstemp(Tmp.data());
    if (fd < 0) {
        int e = errno;
        Tmp.clear();
        Fail(std::strerror(e));
    }
    // mkstemp makes the file private; what we write is for sharing.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
}

TTempFile::~TTempFile()
{
    if (!Done && !Tmp.empty())
        ::unlink(Tmp.c_str());
}

void TTempFile::Commit()
{
    if (::rename(Tmp.c_str(), Target.c_str()) != 0)
        Fail(std::strerror(errno));
    Done = true;
}

void TTempFile::Fail(const std::string& why) const
{
    Refuse(Kind, Target, why);
}

} // namespace quillora
