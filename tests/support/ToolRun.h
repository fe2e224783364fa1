// Runs one of the built tools as a user would, for the tests of what they do with their files:
// the exit status and what they said on standard output and standard error. A tool that waits on
// something it should have refused is ended after a minute, which fails the test (exit status 124),
// not the suite.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

struct ToolRun {
  int Status = -1;
  std::string Output;
  std::string Errors;
};

inline std::string ReadText(const std::string& Path) {
  std::stringstream text;
  text << std::ifstream(Path).rdbuf();
  return text.str();
}

// Text written to Name in the test's temporary folder; returns its path.
inline std::string WriteTempText(const std::string& Name, const std::string& Text) {
  const std::string path = std::filesystem::path(::testing::TempDir()) / Name;
  std::ofstream(path, std::ios::binary) << Text;
  return path;
}

inline ToolRun RunTool(std::vector<std::string> Args) {
  Args.insert(Args.begin(), {"timeout", "60"});
  // Named for this process: ctest runs the suites that use this side by side.
  const std::string stem = "tool-run-" + std::to_string(getpid());
  const std::string output = std::filesystem::path(::testing::TempDir()) / (stem + ".out");
  const std::string errors = std::filesystem::path(::testing::TempDir()) / (stem + ".err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (std::string& arg : Args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  ToolRun run;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.Output = ReadText(output);
  run.Errors = ReadText(errors);
  return run;
}

} // namespace testsupport
