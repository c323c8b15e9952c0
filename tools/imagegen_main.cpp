// Command-line entry of the image generator: nivora_imagegen <output folder>.
#include <cstdio>

#include "imagegen.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argc > 0 ? argv[0] : "nivora_imagegen");
        return 2;
    }
    const int failures = imagegen::WriteAllImages(argv[1]);
    if (failures != 0) {
        std::fprintf(stderr, "nivora_imagegen: %d image(s) could not be written to %s\n", failures, argv[1]);
        return 1;
    }
    return 0;
}
