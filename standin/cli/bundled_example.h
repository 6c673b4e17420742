// The bundled example: a small mesh and a session script in examples/, which
// the program runs when it is started without arguments.
//
// The files are looked for, in this order, in the folder given with
// --example-dir, in examples/ beside the program (the build copies them
// there), and in the source tree the program was built from.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace cli {

inline constexpr const char *kExampleMesh = "bars.obj";
inline constexpr const char *kExampleScript = "tour.script";
inline constexpr const char *kExampleResult = "bars-stretched.obj";
inline constexpr const char *kExampleOutputDir = "elasticpull-example-output";

// The folder holding the example's files, or nullopt with the places tried
// in `tried`.
std::optional<std::filesystem::path> findExampleFolder(const std::filesystem::path &programFolder,
                                                       const std::string &given, std::string &tried);

}  // namespace cli
