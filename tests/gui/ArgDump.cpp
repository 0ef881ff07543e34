// A program the launch tests start: writes its arguments, argument zero first, one per line,
// into the file named by its first argument.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    std::FILE* pFile = std::fopen(argv[1], "w");
    if (!pFile)
        return 1;
    for (int i = 0; i < argc; ++i)
        std::fprintf(pFile, "%s\n", argv[i]);
    return std::fclose(pFile) == 0 ? 0 : 1;
}
