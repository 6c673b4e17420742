// Runs a fuzz target's inputs once each, without libFuzzer: the replay
// programs of the ordinary builds (fuzz/CMakeLists.txt) link a target's code
// with this main, so that every build (64-bit, sanitized and 32-bit) checks
// the committed corpus and every past finding with the target's own checks.
//
//   TARGET_replay FILE_OR_FOLDER...
//
// A broken invariant aborts the program with its message; a clean run prints
// how many inputs ran and exits 0.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

bool runFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.string().c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  // Like libFuzzer, give the target a copy the size of the input exactly.
  LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  std::size_t inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      // In name order, so that a failure names the same input on every run.
      std::vector<std::filesystem::path> files;
      for (const auto &entry : std::filesystem::directory_iterator(path))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
          files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto &file : files) {
        if (!runFile(file)) return 1;
        ++inputs;
      }
    } else {
      if (!runFile(path)) return 1;
      ++inputs;
    }
  }
  std::printf("replay: %zu inputs, no findings\n", inputs);
  return 0;
}
