#include "driver/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvel {
namespace {

TEST(ParseOptionsTest, RemovesOptionsAndKeepsTheOtherArgumentsInOrder) {
  struct Case {
    std::vector<std::string> arguments;  // after the program name
    std::vector<std::string> kept;
    bool sixteenBit;
    std::string errors;
  };
  const std::vector<Case> cases = {
      {{"in", "out"}, {"in", "out"}, false, ""},
      {{"in", "out", "/16"}, {"in", "out"}, true, ""},
      {{"-16", "in", "out"}, {"in", "out"}, true, ""},
      {{"in", "/x", "out"}, {"in", "out"}, false, "error : unknown option '/x'.\n"},
      {{"in", "out", "/1", "-"},
       {"in", "out"},
       false,
       "error : unknown option '/1'.\nerror : unknown option '-'.\n"},
      {{"", "a b", "/16", "c"}, {"", "a b", "c"}, true, ""},
      {{}, {}, false, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> storage{"tarvel"};
    storage.insert(storage.end(), c.arguments.begin(), c.arguments.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(storage.size());
    bool sixteenBit = false;

    ::testing::internal::CaptureStderr();
    ParseOptions(&argc, argv.data(), &sixteenBit);
    const std::string errors = ::testing::internal::GetCapturedStderr();

    ASSERT_EQ(argc, static_cast<int>(c.kept.size()) + 1);
    EXPECT_STREQ(argv[0], "tarvel");
    for (std::size_t i = 0; i < c.kept.size(); ++i) EXPECT_EQ(argv[i + 1], c.kept[i]);
    EXPECT_EQ(sixteenBit, c.sixteenBit);
    EXPECT_EQ(errors, c.errors);
  }
}

TEST(ParseOptionsTest, MatchesTheOptionWithoutRegardToCase) {
  // "16" has no letters, so case only matters for what surrounds it.
  std::string program = "tarvel", option = "/16", other = "/X16";
  char* argv[] = {program.data(), option.data(), other.data(), nullptr};
  int argc = 3;
  bool sixteenBit = false;
  ::testing::internal::CaptureStderr();
  ParseOptions(&argc, argv, &sixteenBit);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "error : unknown option '/X16'.\n");
  EXPECT_TRUE(sixteenBit);
  EXPECT_EQ(argc, 1);
}

}  // namespace
}  // namespace tarvel
