// A file read or written whole with one call, for the benchmark's small
// programs.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

// Reads the file into `text` with one read of its size; false on any failure.
inline bool readWholeFile(const char *path, std::string &text) {
  std::FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    text.resize(static_cast<std::size_t>(size));
    ok = std::fread(text.data(), 1, text.size(), file) == text.size();
  }
  return std::fclose(file) == 0 && ok;
}

// Writes `text` as the whole file with one write; false on any failure.
inline bool writeWholeFile(const char *path, const std::string &text) {
  std::FILE *file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace bench
