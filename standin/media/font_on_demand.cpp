#include "standin/media/font_on_demand.h"

#include <utility>

namespace standin {

FontOnDemand::FontOnDemand(std::function<void(const std::string &)> failed, std::string path, int pixelSize)
    : failed_(std::move(failed)), path_(std::move(path)), pixelSize_(pixelSize) {}

const CanvasFont &FontOnDemand::font() const {
  std::call_once(once_, [this] {
    std::string error;
    loaded_ = FreeTypeFont::load(path_, pixelSize_, &error);
    if (!loaded_ && failed_) failed_(error);
  });
  if (loaded_) return *loaded_;
  return fallback_;
}

}  // namespace standin
