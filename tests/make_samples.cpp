// Writes the sample images into the folder given: make_samples samples/
#include <cstdio>
#include <string>

#include "samples.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 1;
    }
    const std::string folder = argv[1];
    if (!testimg::WriteFile(folder + "/sample8.d88", testimg::Sample8()) ||
        !testimg::WriteFile(folder + "/sample6.d88", testimg::Sample6())) {
        std::perror("make_samples");
        return 1;
    }
    return 0;
}
