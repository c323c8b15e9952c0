// Command-line entry of the image generator: nivora_imagegen <output folder>
// draws the game's images, nivora_imagegen --icons <output folder> its icons.
#include <cstdio>
#include <string>

#include "imagegen.h"

int main(int argc, char** argv) {
    const bool icons = argc == 3 && std::string(argv[1]) == "--icons";
    if (argc != 2 && !icons) {
        std::fprintf(stderr, "usage: %s [--icons] <output folder>\n", argc > 0 ? argv[0] : "nivora_imagegen");
        return 2;
    }
    const char* folder = argv[argc - 1];
    const int failures = icons ? imagegen::WriteIcons(folder) : imagegen::WriteAllImages(folder);
    if (failures != 0) {
        std::fprintf(stderr, "nivora_imagegen: %d file(s) could not be written to %s\n", failures, folder);
        return 1;
    }
    return 0;
}
