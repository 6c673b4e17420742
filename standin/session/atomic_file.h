// Writing an output file so that a failure never leaves half a file: the
// contents go to a temporary file beside the target, which is then renamed
// over it. Every output of the program (meshes, pictures) is written this way.
#pragma once

#include <stdexcept>
#include <string>

namespace standin {

class FileWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes `contents` to `path`. A symbolic link at `path` is followed (the file
// it names is replaced) and an existing file's permissions are kept. Throws
// FileWriteError("cannot write 'path': reason") and removes the temporary
// file on failure.
void writeFileAtomically(const std::string &path, const std::string &contents);

}  // namespace standin
