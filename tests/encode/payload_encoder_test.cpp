// The packed payload path against the plain one, byte for byte.
#include "encode/payload_encoder.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "encode/payload_writer.h"
#include "io/cpu.h"
#include "platform/platform.h"
#include "support/codes.h"
#include "support/failing_stream.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

using testing::DataKind;

using PayloadWriter =
    std::function<PayloadResult(BitWriter&, std::istream&, const CodeTable&, const SymbolIndex&)>;

// The packed path with `threads` threads and blocks of `blockBytes` (0: its
// own choice).
PayloadWriter Packed(int threads, std::size_t blockBytes = 0) {
  return [=](BitWriter& writer, std::istream& input, const CodeTable& table,
             const SymbolIndex& index) {
    return WritePayload(writer, input, table, index, threads, blockBytes);
  };
}

// `write` with the baseline instructions only.
PayloadWriter Baseline(PayloadWriter write) {
  return [=](BitWriter& writer, std::istream& input, const CodeTable& table,
             const SymbolIndex& index) {
    UseBaselineInstructions(true);
    const PayloadResult result = write(writer, input, table, index);
    UseBaselineInstructions(false);
    return result;
  };
}

// The same, reading a file by position: the stream's bytes are put in a
// scratch file first.
PayloadWriter ByPosition(int threads, std::size_t blockBytes) {
  return [=](BitWriter& writer, std::istream& input, const CodeTable& table,
             const SymbolIndex& index) {
    // The stream stays where it stood: a payload with codes too long to pack
    // reads the stream instead.
    const std::streampos start = input.tellg();
    const std::string data{std::istreambuf_iterator<char>(input), {}};
    input.clear();
    input.seekg(start);
    const testing::ScratchDir dir;
    testing::WriteFile(dir / "in", data);
    const int fd = OpenToRead((dir / "in").string());
    const PositionalFile file{fd, static_cast<std::int64_t>(data.size())};
    const PayloadResult result =
        WritePayload(writer, input, table, index, threads, blockBytes, &file);
    CloseFile(fd);
    return result;
  };
}

const PayloadWriter kPlain = WritePayloadByteByByte;

// Every way the payload can be written besides the plain one: one thread,
// two threads, two and three threads with small blocks of odd sizes, so that
// the joins between blocks fall at every bit offset and blocks are encoded
// well ahead of their join, blocks large enough for the table of byte
// pairs, and the loops compiled for the baseline processor.
const std::vector<std::pair<std::string, PayloadWriter>>& PackedWriters() {
  static const std::vector<std::pair<std::string, PayloadWriter>> writers = {
      {"one thread", Packed(1)},
      {"two threads", Packed(2)},
      {"two threads, 997-byte blocks", Packed(2, 997)},
      {"three threads, 61-byte blocks", Packed(3, 61)},
      {"one thread, 1-byte blocks", Packed(1, 1)},
      {"one thread, pairs", Packed(1, 50001)},
      {"one thread, pairs, baseline instructions", Baseline(Packed(1, 50001))},
      {"two threads, baseline instructions", Baseline(Packed(2))},
      {"two threads, pairs", Packed(2, 40009)},
      {"one thread, by position", ByPosition(1, 0)},
      {"two threads, 997-byte blocks by position", ByPosition(2, 997)},
  };
  return writers;
}

// The bytes written by `prefixBits` bits of 1 followed by the payload of
// `data`, and the payload's result.
std::string Payload(const PayloadWriter& write, const std::string& data, const CodeTable& table,
                    const SymbolIndex& index, int prefixBits, PayloadResult* result = nullptr) {
  std::ostringstream sink;
  {
    BitWriter writer(sink);
    writer.WriteBits(std::string(static_cast<std::size_t>(prefixBits), '1'));
    std::istringstream input(data);
    const PayloadResult got = write(writer, input, table, index);
    if (result != nullptr) *result = got;
  }
  return std::move(sink).str();
}

// A table whose codes are 0, 10, 110, ... : symbol k has k + 1 bits, and
// the last two codes have `depth` bits.
void MakeChain(int depth, CodeTable& table, SymbolIndex& index) {
  for (int k = 0; k < depth; ++k) {
    CodeEntry& entry = table.At(k);
    entry.symbol = k == depth - 1 ? kEndSymbol : k;
    entry.code = std::string(static_cast<std::size_t>(k), '1') + "0";
  }
  table.At(depth).symbol = depth - 1;
  table.At(depth).code = std::string(static_cast<std::size_t>(depth), '1');
  BuildSymbolIndex(table, index);
}

TEST(PayloadEncoderTest, PackedPathsMatchThePlainPathAtEveryBitOffset) {
  int compared = 0;
  for (const DataKind kind : testing::AllDataKinds()) {
    for (const std::size_t size : {1, 2, 5, 6, 7, 13, 1000, 70000, 300001}) {
      if (kind == DataKind::kFibonacci && size > 1000) continue;  // below
      const std::string data = testing::MakeTestData(kind, size, static_cast<std::uint32_t>(size));
      CodeTable table;
      SymbolIndex index;
      testing::MakeCodes(testing::CountsOf(data), table, index);
      for (int prefix = 0; prefix < 8; ++prefix) {
        const std::string plain = Payload(kPlain, data, table, index, prefix);
        for (const auto& [name, write] : PackedWriters()) {
          if (size > 70000 && name.find("1-byte") != std::string::npos) continue;
          const std::string packed = Payload(write, data, table, index, prefix);
          ASSERT_EQ(packed.size(), plain.size()) << testing::DataKindName(kind) << " " << size;
          ASSERT_TRUE(packed == plain)
              << name << ": " << testing::DataKindName(kind) << " " << size << " +" << prefix;
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 1500);
}

TEST(PayloadEncoderTest, CodesLongerThan32BitsAndUpToTheWordLimit) {
  // Fibonacci counts: codes of about 35 bits for real data.
  const std::string fibonacci = testing::MakeTestData(DataKind::kFibonacci, 10'000'000, 4);
  CodeTable table;
  SymbolIndex index;
  testing::MakeCodes(testing::CountsOf(fibonacci), table, index);
  EXPECT_GT(PackCodes(table).maxLength, 32);
  const std::string plain = Payload(kPlain, fibonacci, table, index, 3);
  for (const auto& [name, write] : PackedWriters()) {
    if (name.find("1-byte") != std::string::npos) continue;
    EXPECT_TRUE(Payload(write, fibonacci, table, index, 3) == plain) << name;
  }

  // Hand-made chains: 56 bits still packs, 57 and 200 take the plain path.
  for (const int depth : {56, 57, 200}) {
    CodeTable chain;
    SymbolIndex chainIndex;
    MakeChain(depth, chain, chainIndex);
    EXPECT_EQ(PackCodes(chain).fits, depth <= BitWriter::kMaxCodeBits);
    std::string data;
    for (int k = 0; k < 5000; ++k) data.push_back(static_cast<char>((k * 7919) % depth));
    for (int prefix = 0; prefix < 8; ++prefix) {
      const std::string plain = Payload(kPlain, data, chain, chainIndex, prefix);
      for (const auto& [name, write] : PackedWriters()) {
        ASSERT_TRUE(Payload(write, data, chain, chainIndex, prefix) == plain)
            << name << ": " << depth << " +" << prefix;
      }
    }
  }
}

TEST(PayloadEncoderTest, BothPathsReportAByteWithoutACodeAndAReadError) {
  CodeTable table;
  SymbolIndex index;
  testing::MakeCodes(testing::CountsOf("abracadabra"), table, index);
  std::vector<std::pair<std::string, PayloadWriter>> writers = {{"plain", kPlain}};
  for (const auto& named : PackedWriters()) writers.push_back(named);
  for (const auto& [name, write] : writers) {
    PayloadResult result;
    Payload(write, "abracadabra", table, index, 0, &result);
    EXPECT_EQ(result.status, PayloadResult::Status::kComplete);
    EXPECT_EQ(result.bytesRead, 11);
    std::string longer;
    for (int k = 0; k < 400; ++k) longer += k == 200 ? "abracadabrx" : "abracadabra";
    for (const std::string& changed :
         std::vector<std::string>{"abracadabrx", std::string(1, '\0'), "\xFF", longer}) {
      Payload(write, changed, table, index, 0, &result);
      EXPECT_EQ(result.status, PayloadResult::Status::kUnknownByte) << changed;
    }

    // (Failed reads of a file by position have a test of their own.)
    if (name.find("by position") != std::string::npos) continue;
    std::ostringstream sink;
    BitWriter writer(sink);
    testing::FailingStream input(std::string(200000, 'a'), /*failingPass=*/0, 150000);
    EXPECT_EQ(write(writer, input, table, index).status, PayloadResult::Status::kReadFailed);
    writer.Abandon();
  }
}

}  // namespace
}  // namespace tarvel
