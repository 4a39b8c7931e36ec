#include "api/compress.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/codes.h"
#include "support/failing_stream.h"

namespace tarvel {
namespace {

using testing::CountsOf;
using testing::FailingStream;

CompressStatus CompressCounted(const std::string& counted, std::istream& input) {
  std::ostringstream sink;
  BitWriter writer(sink);
  const CompressStatus status = CompressInput(input, PlanCodes(CountsOf(counted)), writer);
  writer.Abandon();
  return status;
}

TEST(CompressInputTest, TheSecondPassMustMeetTheBytesTheFirstCounted) {
  struct Case {
    std::string secondPass;
    CompressStatus status;
  };
  const std::vector<Case> cases = {
      {"abracadabra", CompressStatus::kComplete},
      {"aabracadbra", CompressStatus::kComplete},       // same counts, other order: not detectable
      {"abracadabrz", CompressStatus::kInputChanged},   // a byte value without a code
      {"abracadabr", CompressStatus::kInputChanged},    // shorter
      {"abracadabraa", CompressStatus::kInputChanged},  // longer, known bytes only
      {"bbracadabra", CompressStatus::kInputChanged},   // a (1 bit) became b (2 bits)
      {"", CompressStatus::kInputChanged},
  };
  for (const auto& c : cases) {
    std::istringstream input(c.secondPass);
    EXPECT_EQ(CompressCounted("abracadabra", input), c.status) << c.secondPass;
  }
}

TEST(CompressInputTest, AReadErrorInTheSecondPassIsReported) {
  const std::string data(100000, 'q');
  for (const std::size_t failAt : {std::size_t{0}, std::size_t{1}, std::size_t{99999}}) {
    // Pass 0 is never read here: CompressInput rewinds before its pass.
    FailingStream input(data + "xyz", /*failingPass=*/1, failAt);
    EXPECT_EQ(CompressCounted(data + "xyz", input), CompressStatus::kReadFailed) << failAt;
  }
}

TEST(CompressBytesTest, EmptyDataGivesAnEmptyFile) { EXPECT_EQ(CompressBytes(""), ""); }

}  // namespace
}  // namespace tarvel
