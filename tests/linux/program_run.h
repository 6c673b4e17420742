// Runs elasticpull-host as a subprocess, the way a user does, in a fresh
// working folder per test, and captures its exit code, standard output and
// standard error.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace program_test {

namespace fs = std::filesystem;

struct ProgramResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

inline void writeFile(const fs::path &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string shellQuote(const std::string &word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(EP_TEST_OUTPUT_DIR) / "program" /
           (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }

  fs::path path(const std::string &name) const { return dir_ / name; }
  std::string file(const std::string &name) const { return readFile(dir_ / name); }
  void put(const std::string &name, const std::string &text) const { writeFile(dir_ / name, text); }

  // Runs the program in the test's folder with `args`; `input` is its
  // standard input.
  ProgramResult run(const std::vector<std::string> &args, const std::string &input = "") const {
    writeFile(dir_ / ".stdin", input);
    std::string command = "cd ";
    command += shellQuote(dir_.string());
    command += " && ";
    command += shellQuote(EP_HOST_PROGRAM);
    for (const std::string &arg : args) {
      command += ' ';
      command += shellQuote(arg);
    }
    command += " <.stdin >.stdout 2>.stderr";
    const int status = std::system(command.c_str());
    ProgramResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(dir_ / ".stdout");
    result.err = readFile(dir_ / ".stderr");
    return result;
  }

  fs::path dir_;
};

inline std::string describe(const ProgramResult &r) {
  return "exit " + std::to_string(r.exitCode) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
}

}  // namespace program_test
