// The patch format's reference page, docs/patch-format.md, runs as written:
// every ```json block is a patch that plughost runs with exit status 0,
// unless the line before it is a comment "<!-- error: MESSAGE -->", in
// which case plughost fails with that message.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;

// Seconds one example may take: far more than any of them needs, even on a
// loaded machine with the checking build.
constexpr double kTimeoutSeconds = 60;

struct Example {
  int line = 0;       // of the opening fence, from 1
  std::string text;   // the patch
  std::string error;  // the message it must fail with; "" to succeed
};

std::vector<Example> examples_of(const std::string& page) {
  std::vector<Example> examples;
  std::istringstream in(page);
  std::string line;
  std::string previous;  // the last line with text before this one
  int number = 0;
  const std::string marker = "<!-- error: ";
  while (std::getline(in, line)) {
    ++number;
    if (line == "```json") {
      Example example;
      example.line = number;
      if (previous.rfind(marker, 0) == 0 && previous.size() >= marker.size() + 4 &&
          previous.compare(previous.size() - 4, 4, " -->") == 0) {
        example.error = previous.substr(marker.size(), previous.size() - marker.size() - 4);
      }
      while (std::getline(in, line) && line != "```") {
        ++number;
        example.text += line + "\n";
      }
      ++number;
      examples.push_back(example);
    }
    if (line.find_first_not_of(" \t\r") != std::string::npos) previous = line;
  }
  return examples;
}

void set_environment(const char* name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// A fresh folder for the examples, which is also the temporary folder of
// the plughost runs ("{temp}" in their file names); removed at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device seed;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("patch_format_doc_" + std::to_string(seed()) + "_" + std::to_string(now));
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(PatchFormatDoc, EveryExampleRunsAsDocumented) {
  std::ifstream in(PATCH_FORMAT_DOC, std::ios::binary);
  ASSERT_TRUE(in) << "cannot read " << PATCH_FORMAT_DOC;
  std::ostringstream page;
  page << in.rdbuf();
  const std::vector<Example> examples = examples_of(page.str());
  size_t mistakes = 0;
  for (const Example& e : examples) mistakes += e.error.empty() ? 0 : 1;
  // The page shows working patches and mistakes; a page whose blocks were
  // no longer found would test nothing.
  ASSERT_GE(examples.size(), 8u);
  ASSERT_GE(mistakes, 3u);

  const ScratchFolder scratch;
  for (const char* name : {"TMPDIR", "TMP", "TEMP"}) set_environment(name, scratch.path().string());
  for (size_t k = 0; k < examples.size(); ++k) {
    const Example& e = examples[k];
    const fs::path file = scratch.path() / ("example_" + std::to_string(k + 1) + ".json");
    std::ofstream(file, std::ios::binary) << e.text;
    const plughost::validate::ChildResult result =
        plughost::validate::run_child(PLUGHOST, {"run", file.string()}, kTimeoutSeconds);
    const std::string where = "the example at line " + std::to_string(e.line) + " of the page";
    if (e.error.empty()) {
      EXPECT_TRUE(result.clean()) << where << " " << result.describe(kTimeoutSeconds) << ":\n"
                                  << result.output;
    } else {
      EXPECT_TRUE(result.ending == plughost::validate::ChildResult::kExited && result.code != 0)
          << where << " " << result.describe(kTimeoutSeconds) << ", not a refusal";
      const std::string expected = "plughost: error: " + file.string() + ": " + e.error + "\n";
      EXPECT_NE(result.output.find(expected), std::string::npos) << where << " printed:\n"
                                                                 << result.output << "expected:\n"
                                                                 << expected;
    }
  }
  // The Byteloom example saved its bytes in the temporary folder.
  std::ifstream saved(scratch.path() / "doc_example_identity_request.syx", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, std::string("\xF0\x7E\x7F\x06\x01\xF7", 6));
}

}  // namespace
