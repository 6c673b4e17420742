#include "standin/server/web_assets.h"

namespace standin {

const WebAsset *findWebAsset(std::string_view path) {
  if (path == "/") path = "/index.html";
  for (const WebAsset &asset : webAssets())
    if (asset.path == path) return &asset;
  return nullptr;
}

}  // namespace standin
