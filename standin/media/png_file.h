// PNG files of RGB pictures, through libpng. Linux only (the standin_media library).
#pragma once

#include <optional>
#include <string>

#include "standin/host/rgb_image.h"

namespace standin {

// Writes an 8-bit RGB PNG. False (with `error` set, if given) when it cannot, e.g. an empty picture or an
// unwritable path.
bool savePng(const std::string &path, const RgbImage &image, std::string *error = nullptr);

// Reads any PNG libpng understands, converted to 8-bit RGB.
std::optional<RgbImage> loadPng(const std::string &path, std::string *error = nullptr);

}  // namespace standin
