// Procedural drawings of the game's fifteen images.
//
// Every picture is computed from geometry and seeded noise only, so running the
// generator again gives the same bytes. Shapes are anti-aliased by sampling each
// output pixel on a sub-pixel grid. Pictures that the game blends carry straight
// (not premultiplied) alpha; colours under fully transparent pixels are copied
// from their visible neighbours so that mip-maps do not darken the edges.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "image_file.h"

namespace imagegen {

enum class FileKind { Tga32, Bmp24 };

struct GeneratedImage {
    std::string fileName; // e.g. "Cell.tga"
    FileKind kind;
    Bitmap pixels;
};

// --- Drawing ---
// All fifteen images, in the order the game loads them.
std::vector<GeneratedImage> DrawAllImages();
// The encoded file bytes of one image.
std::vector<uint8_t> EncodeImage(const GeneratedImage& image);

// --- Output ---
// Draws and writes every image into the folder (created when missing).
// Returns the number of files that could not be written; 0 means success.
int WriteAllImages(const std::filesystem::path& folder);

} // namespace imagegen
