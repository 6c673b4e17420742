// PNG files of RGB pictures, through libpng. Linux only (the standin_media library).
#pragma once

#include <optional>
#include <string>

#include "standin/host/rgb_image.h"

namespace standin {

// An 8-bit RGB PNG file's bytes, made in memory (an output file is written whole by its caller, with
// standin::writeFileAtomically). Nullopt (with `error` set, if given) when it cannot, e.g. an empty picture.
std::optional<std::string> encodePng(const RgbImage &image, std::string *error = nullptr);

// Reads any PNG libpng understands, converted to 8-bit RGB.
std::optional<RgbImage> loadPng(const std::string &path, std::string *error = nullptr);

}  // namespace standin
