#include "bundled_example.h"

#include <vector>

namespace cli {

std::optional<std::filesystem::path> findExampleFolder(const std::filesystem::path &programFolder,
                                                       const std::string &given, std::string &tried) {
  std::vector<std::filesystem::path> candidates;
  if (!given.empty()) {
    candidates.emplace_back(given);
  } else {
    candidates.push_back(programFolder / "examples");
#ifdef EP_SOURCE_EXAMPLES
    candidates.emplace_back(EP_SOURCE_EXAMPLES);
#endif
  }
  for (const std::filesystem::path &folder : candidates) {
    std::error_code error;
    if (std::filesystem::is_regular_file(folder / kExampleMesh, error) &&
        std::filesystem::is_regular_file(folder / kExampleScript, error)) {
      return folder;
    }
    tried += (tried.empty() ? "" : ", ") + folder.string();
  }
  return std::nullopt;
}

}  // namespace cli
