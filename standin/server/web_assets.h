// The page's files, built into the program so that it serves the page
// wherever it runs and without a network: web/src/ and the three.js module
// files from web/node_modules, embedded when the program is built
// (cmake/EmbedWebAssets.cmake writes the table).
#pragma once

#include <span>
#include <string_view>

namespace standin {

struct WebAsset {
  std::string_view path;         // as requested, e.g. "/app.js", "/vendor/three.module.js"
  std::string_view contentType;  // e.g. "text/javascript; charset=utf-8"
  std::string_view bytes;
};

std::span<const WebAsset> webAssets();
// The asset at `path` ("/" is "/index.html"), or null.
const WebAsset *findWebAsset(std::string_view path);

}  // namespace standin
