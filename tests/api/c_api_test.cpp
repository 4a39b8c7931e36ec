// The C interface: streams in pieces of any size give the buffer calls'
// bytes, and every failure has its status.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "api/compress.h"
#include "support/test_data.h"
#include "tarvel.h"

namespace tarvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text) { return {text.begin(), text.end()}; }

Bytes BufferCompress(const Bytes& data) {
  Bytes out(tarvel_compress_bound(data.size()));
  size_t size = 0;
  EXPECT_EQ(tarvel_compress(data.data(), data.size(), out.data(), out.size(), &size, 0), TARVEL_OK);
  out.resize(size);
  return out;
}

// Runs `step` over `input` given `piece` bytes at a time, with `piece` bytes
// of room at a time, the last piece marked last, until it returns 1; the
// status is the first that is neither 0 nor 1.
template <typename Step>
int Stream(const Bytes& input, std::size_t piece, Bytes& output, const Step& step) {
  output.clear();
  std::size_t fed = 0;
  std::size_t calls = 0;
  for (;;) {
    const std::size_t size = std::min(piece, input.size() - fed);
    tarvel_in in{input.data() + fed, size, 0};
    const int last = fed + size == input.size() ? 1 : 0;
    int status = 0;
    do {
      std::uint8_t room[4096];
      tarvel_out out{room, std::min(piece, sizeof room), 0};
      status = step(&out, &in, last);
      output.insert(output.end(), room, room + out.pos);
      if (++calls > 4 * (input.size() + 1000)) return -1000;  // no progress
    } while (status == 0 && (in.pos < in.size || (last != 0)));
    fed += in.pos;
    if (status != 0) return status;
  }
}

TEST(CApiTest, StreamsInPiecesGiveTheBytesOfTheBufferCalls) {
  std::vector<Bytes> inputs = {{}, ToBytes("a"), ToBytes("abracadabra")};
  for (const auto kind : testing::AllDataKinds()) {
    for (const std::size_t size : {std::size_t{5000}, std::size_t{300'000}}) {
      inputs.push_back(ToBytes(testing::MakeTestData(kind, size, 7)));
    }
  }
  for (const Bytes& data : inputs) {
    const Bytes packed = BufferCompress(data);
    EXPECT_TRUE(packed ==
                ToBytes(CompressBytes({reinterpret_cast<const char*>(data.data()), data.size()})));
    EXPECT_LE(packed.size(), tarvel_compress_bound(data.size()));
    Bytes restored(data.size() + 1);
    size_t restoredSize = 0;
    ASSERT_EQ(tarvel_decompress(packed.data(), packed.size(), restored.data(), restored.size(),
                                &restoredSize, 2),
              TARVEL_OK);
    restored.resize(restoredSize);
    EXPECT_TRUE(restored == data);

    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      uint64_t counts[256] = {};
      for (std::size_t at = 0; at < data.size(); at += piece) {
        tarvel_count(counts, data.data() + at, std::min(piece, data.size() - at));
      }
      tarvel_encoder* encoder = tarvel_encoder_new(counts);
      ASSERT_NE(encoder, nullptr);
      EXPECT_EQ(tarvel_encoder_size(encoder), packed.size());
      Bytes encoded;
      EXPECT_EQ(Stream(data, piece, encoded,
                       [&](tarvel_out* out, tarvel_in* in, int last) {
                         return tarvel_encoder_run(encoder, out, in, last);
                       }),
                1)
          << data.size() << " in pieces of " << piece;
      tarvel_encoder_free(encoder);
      EXPECT_TRUE(encoded == packed) << data.size() << " in pieces of " << piece;

      tarvel_decoder* decoder = tarvel_decoder_new();
      Bytes decoded;
      EXPECT_EQ(Stream(packed, piece, decoded,
                       [&](tarvel_out* out, tarvel_in* in, int last) {
                         return tarvel_decoder_run(decoder, out, in, last);
                       }),
                1)
          << data.size() << " in pieces of " << piece;
      tarvel_decoder_free(decoder);
      EXPECT_TRUE(decoded == data) << data.size() << " in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace tarvel
