#include <cstdio>

int main()
{
    std::fprintf(stderr, "Quillora: the main window is not built yet.\n");
    return 1;
}
