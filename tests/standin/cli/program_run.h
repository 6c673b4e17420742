// Runs elasticpull-host as a subprocess, the way a user does, in a fresh
// working folder per test, and captures its exit code, standard output and
// standard error.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace program_test {

namespace fs = std::filesystem;

struct ProgramResult {
  int exitCode = -1;  // -1 when it ended by a signal
  int signal = 0;     // the signal that ended it, or 0
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
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = readFile(dir_ / ".stdout");
    result.err = readFile(dir_ / ".stderr");
    return result;
  }

  // Starts the program in the test's folder without waiting for it (standard
  // input from /dev/null); finish() waits for it.
  pid_t start(const std::vector<std::string> &args) const {
    std::vector<std::string> words{EP_HOST_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string folder = dir_.string();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: only calls that are safe between fork and exec.
    const int in = open("/dev/null", O_RDONLY);
    if (chdir(folder.c_str()) != 0 || in < 0) _exit(127);
    const int out = open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }

  ProgramResult finish(pid_t pid) const {
    int status = 0;
    ProgramResult result;
    if (waitpid(pid, &status, 0) != pid) return result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = readFile(dir_ / ".stdout");
    result.err = readFile(dir_ / ".stderr");
    return result;
  }

  // Hidden files the program left in the test's folder (its own standard
  // streams excepted): a temporary file of an interrupted write.
  std::vector<std::string> hiddenFiles() const {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (name[0] == '.' && name != ".stdin" && name != ".stdout" && name != ".stderr") names.push_back(name);
    }
    return names;
  }

  fs::path dir_;
};

// The last line of a text, without its newline.
inline std::string lastLine(const std::string &text) {
  const std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
  return trimmed.substr(trimmed.find_last_of('\n') + 1);
}

inline std::string describe(const ProgramResult &r) {
  return "exit " + std::to_string(r.exitCode) + (r.signal != 0 ? " signal " + std::to_string(r.signal) : "") +
         "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
}

}  // namespace program_test
