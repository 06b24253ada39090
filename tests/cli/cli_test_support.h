// Shared set-up of the command-line tests: a copy of the sample book in a
// fresh temporary folder, runs of the command line with captured streams,
// and golden files under tests/cli/expected.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/job.h"

namespace gw::cli::testing {

struct RunResult {
  ExitCode code = ExitCode::kDone;
  std::string out;
  std::string err;
};

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << file.rdbuf();
  return buffer.str();
}

inline void WriteAll(const std::filesystem::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
}

// A fresh copy of samples/manual for each test.
class SampleBook : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // One folder, named after the test ("/" of parameterized names included).
    std::string folder =
        "gw_cli_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(::getpid());
    std::replace(folder.begin(), folder.end(), '/', '_');
    root_ = std::filesystem::temp_directory_path() / folder;
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    std::filesystem::copy(std::filesystem::path(GRIDWRIGHT_SAMPLES_DIR) / "manual", root_ / "manual",
                          std::filesystem::copy_options::recursive);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string Path(const std::string& relative) const { return (root_ / relative).string(); }

  // Runs the command line with the arguments; {dir} in them is the folder.
  RunResult Run(std::vector<std::string> arguments, const std::string& input = "", bool terminal = false) {
    for (std::string& argument : arguments) {
      for (size_t at; (at = argument.find("{dir}")) != std::string::npos;) argument.replace(at, 5, root_.string());
    }
    std::ostringstream out, err;
    std::istringstream in(input);
    Io io{out, err, in, terminal, terminal};
    RunResult result;
    result.code = RunCommandLine(arguments, io);
    result.out = Anonymous(out.str());
    result.err = Anonymous(err.str());
    return result;
  }

  // The output with the temporary folder written as {dir}. Paths under it are
  // written with "/" as on Linux, so that one expected file serves both.
  std::string Anonymous(std::string text) const {
    const std::string dir = root_.string();
    for (size_t at; (at = text.find(dir)) != std::string::npos;) {
      text.replace(at, dir.size(), "{dir}");
#if defined(_WIN32)
      for (size_t i = at + 5; i < text.size() && text[i] != ' ' && text[i] != '\n' && text[i] != '"' &&
                              text[i] != ':' && text[i] != '\'';
           ++i) {
        if (text[i] == '\\') text[i] = '/';
      }
#endif
    }
    return text;
  }

  // Every file of the copy with its bytes.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
      if (entry.is_regular_file()) {
        files[entry.path().lexically_relative(root_).generic_string()] = ReadAll(entry.path());
      }
    }
    return files;
  }

  std::filesystem::path root_;
};

// Compares text with tests/cli/expected/name. With GRIDWRIGHT_UPDATE_EXPECTED
// set in the environment the file is written instead (review the diff).
inline void ExpectMatchesFile(const std::string& text, const std::string& name) {
  std::filesystem::path path = std::filesystem::path(GRIDWRIGHT_EXPECTED_DIR) / name;
  if (std::getenv("GRIDWRIGHT_UPDATE_EXPECTED") != nullptr) {
    WriteAll(path, text);
    return;
  }
  ASSERT_TRUE(std::filesystem::exists(path)) << "missing expected file " << path;
  EXPECT_EQ(text, ReadAll(path)) << "differs from " << path;
}

}  // namespace gw::cli::testing
