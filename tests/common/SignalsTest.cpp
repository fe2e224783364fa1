#include "common/files/Signals.h"
#include "common/files/OutputFile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Read(const std::filesystem::path& Path) {
  std::ifstream in(Path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A signal before an output is committed ends the tool and leaves the file named as it was; one
// after it lets the tool finish normally, since ending then would leave the outputs half new.
TEST(SignalsTest, AnEndingSignalEndsTheToolOnlyBeforeAnOutputIsCommitted) {
  struct Case {
    bool SignalAfterCommit;
    int ExpectedSignal; // 0: exited normally
    std::string ExpectedContent;
  };
  const Case cases[] = {
      {false, SIGTERM, "a user's file\n"},
      {true, 0, "the run's output\n"},
  };
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("signals-test-" + std::to_string(getpid()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.SignalAfterCommit);
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / "out.txt";
    std::ofstream(path) << "a user's file\n";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      files::CleanUpOnSignals();
      files::OutputFile out(path.string(), "output");
      out.Stream() << "the run's output\n";
      if (!c.SignalAfterCommit) {
        raise(SIGTERM);
      }
      out.Finish();
      raise(SIGTERM);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (c.ExpectedSignal == 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.ExpectedSignal) << status;
    }
    EXPECT_EQ(Read(path), c.ExpectedContent);
    // No temporary is left beside it either way.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    std::filesystem::remove_all(folder);
  }
}

} // namespace
