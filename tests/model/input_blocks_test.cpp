// Reading a regular file by position, on several threads at once.
#include "io/input_blocks.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "encode/payload_writer.h"
#include "model/symbol_count.h"
#include "platform/platform.h"
#include "support/codes.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

// A scratch file holding `data`, open for reading by position.
class FileOf {
 public:
  explicit FileOf(const std::string& data) {
    testing::WriteFile(dir / "in", data);
    fd = OpenToRead((dir / "in").string());
  }
  ~FileOf() { CloseFile(fd); }
  FileOf(const FileOf&) = delete;
  FileOf& operator=(const FileOf&) = delete;

  int fd = -1;

 private:
  testing::ScratchDir dir;
};

TEST(InputBlocksTest, CountsByPositionMatchTheByteByByteCount) {
  for (const auto kind : {testing::DataKind::kText, testing::DataKind::kRandom}) {
    // Around the 128 KiB blocks of the count.
    for (const std::size_t size : {1, 999, 131071, 131072, 131073, 400000}) {
      const std::string data = testing::MakeTestData(kind, size, 3);
      const FileOf file(data);
      std::istringstream reference(data);
      const FrequencyTable expected = CountSymbolsByteByByte(reference);
      for (const int threads : {1, 2, 3}) {
        std::istringstream unused;
        const PositionalFile positional{file.fd, static_cast<std::int64_t>(size)};
        const FrequencyTable counts = CountSymbols(unused, nullptr, threads, &positional);
        EXPECT_EQ(counts, expected)
            << testing::DataKindName(kind) << " " << size << ", " << threads << " threads";
        EXPECT_FALSE(unused.bad());
      }
    }
  }
}

// The file holds 300000 bytes; the pass expects `expected` of them.
TEST(InputBlocksTest, AFileOfAnotherSizeThanExpectedHasChanged) {
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 300000, 4);
  const FileOf file(data);
  struct Case {
    std::int64_t expected;
    bool changed;
    std::int64_t read;  // bytes handed out
  };
  const std::vector<Case> cases = {
      {300000, false, 300000},
      {300001, true, 300000},  // shorter than expected
      {400000, true, 300000},
      {299999, true, 299999},  // longer: found after the last block
      {1, true, 1},
  };
  for (const Case& c : cases) {
    for (const std::size_t capacity : {std::size_t{997}, std::size_t{1} << 17}) {
      std::istringstream unused;
      const PositionalFile positional{file.fd, c.expected};
      InputBlocks blocks(unused, nullptr, &positional);
      std::vector<char> buffer(capacity);
      std::int64_t read = 0;
      std::int64_t number = 0;
      for (;;) {
        const InputBlocks::Block block = blocks.Next(buffer.data(), capacity);
        if (block.size == 0) break;
        EXPECT_EQ(block.number, number++);
        EXPECT_EQ(std::string(buffer.data(), block.size),
                  data.substr(static_cast<std::size_t>(read), block.size));
        read += static_cast<std::int64_t>(block.size);
      }
      EXPECT_EQ(read, c.read) << c.expected;
      EXPECT_EQ(blocks.Changed(), c.changed) << c.expected;
      EXPECT_FALSE(unused.bad());
      EXPECT_EQ(blocks.Next(buffer.data(), capacity).size, 0u);  // and it stays ended
    }
  }
}

TEST(InputBlocksTest, AFailedReadLeavesTheStreamBad) {
  // Reading a directory fails: the nearest to a disk error a test can make.
  const testing::ScratchDir dir;
  const int fd = OpenFolder(dir.Path().string());
  ASSERT_GE(fd, 0);
  const PositionalFile folder{fd, 5000};
  {
    std::istringstream unused;
    CountSymbols(unused, nullptr, 2, &folder);
    EXPECT_TRUE(unused.bad());
  }
  {
    CodeTable table;
    SymbolIndex index;
    testing::MakeCodes(testing::CountsOf("abracadabra"), table, index);
    std::ostringstream sink;
    BitWriter writer(sink);
    std::istringstream unused;
    const PayloadResult result = WritePayload(writer, unused, table, index, 2, 0, &folder);
    EXPECT_EQ(result.status, PayloadResult::Status::kReadFailed);
    writer.Abandon();
  }
  CloseFile(fd);
}

TEST(InputBlocksTest, APayloadOfAnotherSizeThanCountedIsRefused) {
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 200000, 5);
  const FileOf file(data);
  CodeTable table;
  SymbolIndex index;
  testing::MakeCodes(testing::CountsOf(data), table, index);
  for (const std::int64_t expected : {std::int64_t{199999}, std::int64_t{200001}}) {
    for (const int threads : {1, 2}) {
      std::ostringstream sink;
      BitWriter writer(sink);
      std::istringstream unused;
      const PositionalFile positional{file.fd, expected};
      const PayloadResult result =
          WritePayload(writer, unused, table, index, threads, 0, &positional);
      EXPECT_EQ(result.status, PayloadResult::Status::kOtherSize) << expected;
      writer.Abandon();
    }
  }
}

}  // namespace
}  // namespace tarvel
