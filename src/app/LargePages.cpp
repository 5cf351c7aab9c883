#include "app/LargePages.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace quillora {

void RestartWithLargePages(char** argv)
{
    if (!argv || !argv[0] || std::getenv("QUILLORA_SMALL_PAGES"))
        return;
    const char* current = std::getenv("GLIBC_TUNABLES");
    std::string tunables = current ? current : "";
    if (tunables.find("glibc.malloc.hugetlb") != std::string::npos)
        return; // ours from the first start, or the user's own choice
    std::string mode;
    std::getline(std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled"), mode);
    if (mode.find("[never]") != std::string::npos || mode.empty())
        return;
    tunables += (tunables.empty() ? "" : ":") + std::string("glibc.malloc.hugetlb=1");
    if (setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0)
        return;
    // The program's own file by its real name, so the process keeps its
    // name for ps, pgrep and the desktop.
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return;
    self[n] = '\0';
    execv(self, argv);
    // Still here: go on with the pages we have.
}

} // namespace quillora
