// Procedural drawings of the game's fifteen images and its desktop icon.
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

// The desktop icon's square sizes in pixels, smallest first.
std::vector<int> IconSizes();
// The icon drawn at one size (straight alpha, clear outside its rounded tile).
Bitmap DrawIconBitmap(int size);

// --- Output ---
// Draws and writes every image into the folder (created when missing).
// Returns the number of files that could not be written; 0 means success.
int WriteAllImages(const std::filesystem::path& folder);
// Writes the icon as "nivora-<size>.png" for every size into the folder
// (created when missing); the number of files that could not be written.
int WriteIcons(const std::filesystem::path& folder);

} // namespace imagegen
