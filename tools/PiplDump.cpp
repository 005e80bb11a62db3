// Writes the registration resource's bytes to a file, for the Windows resource
// compiler (and for anyone who wants to look at them).
#include <cstdio>

#include "host/PiplResource.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pipl_dump OUTPUT\n");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    const auto& bytes = Tamrin::Solvane::Pipl::kBytes;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return (std::fclose(file) == 0 && ok) ? 0 : 1;
}
