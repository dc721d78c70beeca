// The floor the assemblers are measured against: reads every file named on
// the command line in 64 KiB blocks and counts its bytes and line ends, one
// byte at a time, as the least that any tool reading the source must do.
#include <cstdio>

int main(int argc, char** argv)
{
    static unsigned char block[65536];
    unsigned long long bytes = 0, lines = 0;
    for (int i = 1; i < argc; ++i) {
        std::FILE* file = std::fopen(argv[i], "rb");
        if (!file) {
            std::perror(argv[i]);
            return 1;
        }
        std::size_t got;
        while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
            for (std::size_t j = 0; j < got; ++j) {
                ++bytes;
                lines += block[j] == '\n';
            }
        }
        std::fclose(file);
    }
    std::printf("%llu bytes, %llu lines\n", bytes, lines);
    return 0;
}
