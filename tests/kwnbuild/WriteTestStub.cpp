// Writes the tests' minimal PE stub for the command-line tests; with --overlay, bytes follow its
// last section, as in an already built launcher, which kwnbuild must refuse.
#include "TestPeImage.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--overlay") != 0)) {
        std::fprintf(stderr, "usage: %s FILE [--overlay]\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> image = kwn::build::test::makeStub();
    if (argc == 3)
        image.insert(image.end(), 16, 0xAB);
    std::FILE* file = std::fopen(argv[1], "wb");
    bool written = file && std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (file)
        written = std::fclose(file) == 0 && written;
    return written ? 0 : 1;
}
