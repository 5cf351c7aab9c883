#include "video/TempFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace video {

TTempFile::TTempFile(const std::string& target) : Target(target)
{
    if (target.empty())
        Fail("no file name");
    Tmp = target + ".XXXXXX";
    int fd = mkstemp(Tmp.data());
    if (fd < 0) {
        Tmp.clear();
        Fail(std::strerror(errno));
    }
    // mkstemp makes the file private; a movie is for sharing.
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
    throw std::runtime_error("Cannot write the movie \"" + Target + "\": " + why);
}

} // namespace video
