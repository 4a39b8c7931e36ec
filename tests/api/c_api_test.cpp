// The C interface: streams in pieces of any size give the buffer calls'
// bytes, and every failure has its status.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "api/compress.h"
#include "format/faults.h"
#include "platform/platform.h"
#include "support/scratch.h"
#include "support/test_data.h"
#include "tarvel.h"
#include "tarvel/tarvel.h"

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
// status is the first that is neither 0 nor 1. Before each call, with
// `nulls`, a call with empty pieces given as null pointers, which must ask
// for more.
template <typename Step>
int Stream(const Bytes& input, std::size_t piece, Bytes& output, const Step& step,
           bool nulls = false) {
  output.clear();
  std::size_t fed = 0;
  std::size_t calls = 0;
  for (;;) {
    const std::size_t size = std::min(piece, input.size() - fed);
    tarvel_in in{input.data() + fed, size, 0};
    const int last = fed + size == input.size() ? 1 : 0;
    int status = 0;
    do {
      tarvel_in none{nullptr, 0, 0};
      tarvel_out nowhere{nullptr, 0, 0};
      if (nulls && step(&nowhere, &none, 0) != 0) return -2000;
      std::vector<std::uint8_t> room(piece);
      tarvel_out out{room.data(), room.size(), 0};
      status = step(&out, &in, last);
      output.insert(output.end(), room.begin(),
                    room.begin() + static_cast<std::ptrdiff_t>(out.pos));
      if (++calls > 4 * (input.size() + 1000)) return -1000;  // no progress
    } while (status == 0 && (in.pos < in.size || (last != 0)));
    fed += in.pos;
    if (status != 0) return status;
  }
}

// The loop that tarvel.h documents, over `input` read in pieces that end at
// `ends` (then at its end), with `room` bytes of room at a time; with
// `lastEarly`, `last` comes with the final piece rather than after it.
int DocumentedLoop(const Bytes& input, const std::vector<std::size_t>& ends, std::size_t room,
                   bool lastEarly) {
  std::size_t read = 0;
  std::size_t next = 0;
  const auto readPiece = [&](const std::uint8_t*& piece) {
    while (next < ends.size() && ends[next] <= read) ++next;
    const std::size_t end = next < ends.size() ? ends[next] : input.size();
    piece = input.data() + read;
    const std::size_t got = end - read;
    read = end;
    return got;
  };
  tarvel_decoder* decoder = tarvel_decoder_new();
  std::vector<std::uint8_t> space(room);
  int status = TARVEL_OK;
  while (status == TARVEL_OK) {
    const std::uint8_t* piece = nullptr;
    const std::size_t got = readPiece(piece);
    const int last = got == 0 || (lastEarly && read == input.size());
    tarvel_in in{piece, got, 0};
    do {
      tarvel_out out{space.data(), space.size(), 0};
      status = tarvel_decoder_run(decoder, &out, &in, last);
    } while (status == TARVEL_OK && (in.pos < in.size || last));
    // Done before the end of the input: whatever follows is too much (a
    // last call says so itself).
    if (status == TARVEL_DONE && !last && (in.pos < in.size || readPiece(piece) > 0)) {
      status = TARVEL_ERROR_DATA_AFTER_END;
    }
  }
  tarvel_decoder_free(decoder);
  return status;
}

TEST(CApiTest, StreamsInPiecesGiveTheBytesOfTheBufferCalls) {
  std::vector<Bytes> inputs = {{}, ToBytes("a"), ToBytes("abracadabra")};
  for (const auto kind : testing::AllDataKinds()) {
    for (const std::size_t size : {std::size_t{5000}, std::size_t{300'000}}) {
      inputs.push_back(ToBytes(testing::MakeTestData(kind, size, 7)));
    }
  }
  // Past 16 MiB of a room the bytes are copied past the caches.
  inputs.push_back(ToBytes(testing::MakeTestData(testing::DataKind::kText, 17 << 20, 7)));
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

    // Pieces of tens of kilobytes are decoded in lanes, and their room fills
    // up before their end; the last piece is all of it, in all the room.
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096},
                                    std::size_t{50'000}, std::size_t{65'536}, data.size() + 1}) {
      if (piece < 4096 && data.size() > 1'000'000) continue;
      uint64_t counts[256] = {};
      for (std::size_t at = 0; at < data.size(); at += piece) {
        tarvel_count(counts, data.data() + at, std::min(piece, data.size() - at));
      }
      tarvel_encoder* encoder = tarvel_encoder_new(counts);
      ASSERT_NE(encoder, nullptr);
      EXPECT_EQ(tarvel_encoder_size(encoder), packed.size());
      Bytes encoded;
      EXPECT_EQ(Stream(
                    data, piece, encoded,
                    [&](tarvel_out* out, tarvel_in* in, int last) {
                      return tarvel_encoder_run(encoder, out, in, last);
                    },
                    piece == 7),
                1)
          << data.size() << " in pieces of " << piece;
      tarvel_encoder_free(encoder);
      EXPECT_TRUE(encoded == packed) << data.size() << " in pieces of " << piece;

      tarvel_decoder* decoder = tarvel_decoder_new();
      Bytes decoded;
      EXPECT_EQ(Stream(
                    packed, piece, decoded,
                    [&](tarvel_out* out, tarvel_in* in, int last) {
                      return tarvel_decoder_run(decoder, out, in, last);
                    },
                    piece == 7),
                1)
          << data.size() << " in pieces of " << piece;
      tarvel_decoder_free(decoder);
      EXPECT_TRUE(decoded == data) << data.size() << " in pieces of " << piece;
    }
  }
}

TEST(CApiTest, EveryFailureHasItsStatusAndItsText) {
  const Bytes data = ToBytes(testing::MakeTestData(testing::DataKind::kText, 3'000'000, 4));
  const Bytes packed = BufferCompress(data);
  testing::ScratchDir dir;
  testing::WriteFile(dir / "in", {reinterpret_cast<const char*>(data.data()), data.size()});
  testing::WriteFile(dir / "in.tv", {reinterpret_cast<const char*>(packed.data()), packed.size()});
  const std::string in = (dir / "in").string();
  const std::string out = (dir / "out").string();
  Bytes room(data.size() + 1);
  size_t size = 0;
  const auto decoderOn = [](const Bytes& bytes, int last, int again) {
    tarvel_decoder* decoder = tarvel_decoder_new();
    std::vector<std::uint8_t> restored(4 << 20);
    tarvel_in input{bytes.data(), bytes.size(), 0};
    tarvel_out output{restored.data(), restored.size(), 0};
    int status = tarvel_decoder_run(decoder, &output, &input, last);
    if (again != 0) status = tarvel_decoder_run(decoder, &output, &input, 1);
    tarvel_decoder_free(decoder);
    return status;
  };
  // Encodes `bytes`, then `more`, after counting "aaa".
  const auto encodeAfter = [](std::string_view bytes, int last, std::string_view more) {
    uint64_t counts[256] = {};
    counts['a'] = 3;
    tarvel_encoder* encoder = tarvel_encoder_new(counts);
    std::uint8_t buffer[64];
    tarvel_in input{bytes.data(), bytes.size(), 0};
    tarvel_out output{buffer, sizeof buffer, 0};
    tarvel_encoder_run(encoder, &output, &input, last);
    input = tarvel_in{more.data(), more.size(), 0};
    const int status = tarvel_encoder_run(encoder, &output, &input, 1);
    tarvel_encoder_free(encoder);
    return status;
  };
  // How many of these counts, which no input can have, make an encoder.
  const auto encodersOfImpossibleCounts = [] {
    const uint64_t big = uint64_t{1} << 61;
    std::vector<std::vector<uint64_t>> tables(4, std::vector<uint64_t>(256, 0));
    tables[0]['a'] = tables[0]['b'] = INT64_MAX;                       // the total overflows
    tables[1][0] = tables[1][1] = tables[1][2] = big;                  // the bits overflow
    std::fill(tables[2].begin(), tables[2].end(), uint64_t{1} << 55);  // a total of 2^63
    tables[3]['a'] = 2 * big;
    tables[3]['b'] = 2 * big - 1;
    int made = 0;
    for (const auto& counts : tables) {
      tarvel_encoder* encoder = tarvel_encoder_new(counts.data());
      made += encoder != nullptr ? 1 : 0;
      tarvel_encoder_free(encoder);
    }
    return made;
  };
  // A buffer written by another thread while it is compressed, by the C and
  // the C++ calls: never a success.
  const auto compressWhileChanged = [&] {
    Bytes moving = ToBytes(testing::MakeTestData(testing::DataKind::kText, 32 << 20, 5));
    Bytes into(tarvel_compress_bound(moving.size()));
    std::vector<std::uint8_t> vector;
    int status = TARVEL_OK;
    for (int attempt = 0; attempt < 3 && status == TARVEL_OK; ++attempt) {
      std::atomic<bool> stop{false};
      std::thread writer([&] {
        volatile std::uint8_t* bytes = moving.data();
        for (std::size_t at = 0; !stop; at = (at + 4099) % moving.size()) {
          bytes[at] = static_cast<std::uint8_t>(bytes[at] ^ 0x80);
        }
      });
      status = tarvel_compress(moving.data(), moving.size(), into.data(), into.size(), &size, 1);
      const Result result = Compress(moving, vector, 1);
      stop = true;
      writer.join();
      if (result.code != Result::Code::kInputChanged || !vector.empty()) status = -1000;
    }
    return status;
  };
  // A decoder restores `packed`, is reset and restores it again.
  const auto restoreTwice = [&] {
    tarvel_decoder* decoder = tarvel_decoder_new();
    int status = 0;
    for (int round = 0; round < 2 && status >= 0; ++round) {
      tarvel_in input{packed.data(), packed.size(), 0};
      tarvel_out output{room.data(), room.size(), 0};
      status = tarvel_decoder_run(decoder, &output, &input, 1);
      if (output.pos != data.size() || !std::equal(data.begin(), data.end(), room.begin())) {
        status = -1000;
      }
      tarvel_decoder_reset(decoder);
    }
    tarvel_decoder_free(decoder);
    return status;
  };
  Bytes trailing = packed;
  trailing.push_back(0);
  // abracadabra and a stray byte, cut in two anywhere, with any room.
  const auto strayByteAnywhere = [] {
    Bytes stray = BufferCompress(ToBytes("abracadabra"));
    stray.push_back('X');
    int agreed = TARVEL_ERROR_DATA_AFTER_END;
    for (std::size_t split = 0; split <= stray.size(); ++split) {
      for (std::size_t room = 1; room <= 24; ++room) {
        for (const bool lastEarly : {false, true}) {
          const int status = DocumentedLoop(stray, {split}, room, lastEarly);
          if (status != agreed) agreed = -1000 - static_cast<int>(split * 100 + room);
        }
      }
    }
    return agreed;
  };
  const int reading = testing::OpenDescriptor(dir / "in", false);
  const int readingPacked = testing::OpenDescriptor(dir / "in.tv", false);
  const Bytes cut(packed.begin(), packed.end() - 1);
  int broken[2];
  ASSERT_TRUE(testing::MakePipe(broken));
  CloseFile(broken[0]);  // a pipe whose reader has gone
  // A reader that takes 4 KiB and leaves while a write waits for room: the
  // write returns what it wrote, yet raises SIGPIPE.
  const auto leavingReader = [&](const auto& call) {
    int ends[2];
    if (!testing::MakePipe(ends)) return -1000;
    std::thread reader([&] {
      char some[4096];
      ReadSome(ends[0], some, sizeof some);
      CloseFile(ends[0]);
    });
    const int status = call(ends[1]);
    reader.join();
    CloseFile(ends[1]);
    return status;
  };

  struct Case {
    const char* name;
    std::function<int()> call;
    int status;
    int error = 0;  // errno after the call
  };
  const std::vector<Case> cases = {
      {"compress into too little room, with the size it needs",
       [&] {
         const int status = tarvel_compress(data.data(), data.size(), room.data(), 10, &size, 1);
         return size == packed.size() ? status : -1000;
       },
       TARVEL_ERROR_OUTPUT_TOO_SMALL},
      {"decompress into too little room, with the size it needs",
       [&] {
         const int status =
             tarvel_decompress(packed.data(), packed.size(), room.data(), 1000, &size, 2);
         return size == data.size() ? status : -1000;
       },
       TARVEL_ERROR_OUTPUT_TOO_SMALL},
      {"a truncated header",
       [&] { return tarvel_decompress(packed.data(), 3, room.data(), room.size(), &size, 1); },
       TARVEL_ERROR_HEADER_TRUNCATED},
      {"a byte after the end",
       [&] {
         return tarvel_decompress(trailing.data(), trailing.size(), room.data(), room.size(), &size,
                                  1);
       },
       TARVEL_ERROR_DATA_AFTER_END},
      {"a byte after the end of a stream marked last", [&] { return decoderOn(trailing, 1, 0); },
       TARVEL_ERROR_DATA_AFTER_END},
      {"a byte after the end at every split, with every room", strayByteAnywhere,
       TARVEL_ERROR_DATA_AFTER_END},
      {"a byte after the end left to the caller", [&] { return decoderOn(trailing, 0, 0); }, 1},
      {"then given again", [&] { return decoderOn(trailing, 0, 1); }, TARVEL_ERROR_DATA_AFTER_END},
      {"a byte after the end left to the caller, with room for a byte at a time",
       [&] {
         tarvel_decoder* decoder = tarvel_decoder_new();
         tarvel_in input{trailing.data(), trailing.size(), 0};
         Bytes restored;
         int status = 0;
         while (status == 0) {
           std::uint8_t byte = 0;
           tarvel_out output{&byte, 1, 0};
           status = tarvel_decoder_run(decoder, &output, &input, 0);
           restored.insert(restored.end(), &byte, &byte + output.pos);
         }
         tarvel_decoder_free(decoder);
         return restored == data && input.pos == packed.size() ? status : -1000;
       },
       1},
      {"a stream that ends early, as the buffer call finds", [&] { return decoderOn(cut, 1, 0); },
       tarvel_decompress(cut.data(), cut.size(), room.data(), room.size(), &size, 1)},
      {"other bytes than those counted", [&] { return encodeAfter("abb", 1, ""); },
       TARVEL_ERROR_INPUT_CHANGED},
      {"fewer bytes than counted", [&] { return encodeAfter("aa", 1, ""); },
       TARVEL_ERROR_INPUT_CHANGED},
      {"a null buffer",
       [&] { return tarvel_compress(nullptr, 5, room.data(), room.size(), &size, 1); },
       TARVEL_ERROR_ARGUMENT},
      {"a missing input file",
       [&] { return tarvel_compress_file("/nonexistent/in", out.c_str(), 1, nullptr, nullptr); },
       TARVEL_ERROR_OPEN_INPUT, ENOENT},
      {"an output in a missing folder",
       [&] {
         return tarvel_decompress_file((in + ".tv").c_str(), "/nonexistent/out", 1, nullptr,
                                       nullptr);
       },
       TARVEL_ERROR_OPEN_OUTPUT, ENOENT},
      {"a file that is not compressed, with the program's reason",
       [&] { return tarvel_decompress_file(in.c_str(), out.c_str(), 1, nullptr, nullptr); },
       tarvel_decompress(data.data(), data.size(), room.data(), room.size(), &size, 1)},
      {"a progress callback that asks to stop",
       [&] {
         return tarvel_compress_file(
             in.c_str(), out.c_str(), 2, [](void*, uint64_t, uint64_t) { return 1; }, nullptr);
       },
       TARVEL_ERROR_CANCELLED},
      {"a pipe whose reader has gone, with SIGPIPE's default action",
       [&] { return tarvel_decompress_fd(readingPacked, broken[1], 1, nullptr, nullptr); },
       TARVEL_ERROR_WRITE_OUTPUT, EPIPE},
      {"a reader that leaves while a write waits, with SIGPIPE's default action",
       [&] {
         return leavingReader(
             [&](int output) { return tarvel_compress_fd(reading, output, 1, nullptr, nullptr); });
       },
       TARVEL_ERROR_WRITE_OUTPUT, EPIPE},
      {"the same restoring",
       [&] {
         return leavingReader([&](int output) {
           Seek(readingPacked, 0, SeekFrom::kStart);
           return tarvel_decompress_fd(readingPacked, output, 1, nullptr, nullptr);
         });
       },
       TARVEL_ERROR_WRITE_OUTPUT, EPIPE},
      {"a buffer changed during the call", compressWhileChanged, TARVEL_ERROR_INPUT_CHANGED},
      {"an encoder of nothing, given a byte, stays failed", [&] { return encodeAfter("a", 0, ""); },
       TARVEL_ERROR_INPUT_CHANGED},
      {"bytes after the encoder's end", [&] { return encodeAfter("aaa", 1, "a"); },
       TARVEL_ERROR_INPUT_CHANGED},
      {"counts whose total or bits no number holds make no encoder", encodersOfImpossibleCounts, 0},
      {"a decoder reset restores the next stream", restoreTwice, TARVEL_DONE},
      {"a negative thread count",
       [&] {
         const int status =
             tarvel_compress(data.data(), data.size(), room.data(), room.size(), &size, -1);
         return tarvel_decompress_file(in.c_str(), out.c_str(), -1, nullptr, nullptr) == status
                    ? status
                    : -1000;
       },
       TARVEL_ERROR_ARGUMENT},
      {"an output descriptor open only for reading",
       [&] { return tarvel_compress_fd(reading, readingPacked, 1, nullptr, nullptr); },
       TARVEL_ERROR_OPEN_OUTPUT},
  };
#if defined(SIGPIPE)
  const auto defaultAction = signal(SIGPIPE, SIG_DFL);
#endif
  for (const Case& c : cases) {
    errno = 0;
    const int status = c.call();
    EXPECT_EQ(status, c.status) << c.name << ": " << tarvel_status_text(status);
    if (c.error != 0) {
      EXPECT_EQ(errno, c.error) << c.name;
    }
    EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
  }
#if defined(SIGPIPE)
  signal(SIGPIPE, defaultAction);
#endif
  CloseFile(reading);
  CloseFile(readingPacked);
  CloseFile(broken[1]);

  std::set<std::string> texts;
  for (int status = TARVEL_DONE; status >= TARVEL_ERROR_ARGUMENT; --status) {
    texts.insert(tarvel_status_text(status));
    EXPECT_FALSE(tarvel_is_invalid_data(status));
  }
  for (int fault = 1; fault < static_cast<int>(Fault::kCount); ++fault) {
    const int status = TARVEL_ERROR_INVALID_FIRST + 1 - fault;
    EXPECT_STREQ(tarvel_status_text(status), FaultReason(static_cast<Fault>(fault)));
    EXPECT_TRUE(tarvel_is_invalid_data(status));
    texts.insert(tarvel_status_text(status));
  }
  EXPECT_EQ(texts.size(), static_cast<std::size_t>(TARVEL_DONE + 1 - TARVEL_ERROR_ARGUMENT) +
                              static_cast<std::size_t>(Fault::kCount) - 1);
}

// Bytes written into a pipe by another thread, as a producer would.
class PipeFrom {
 public:
  explicit PipeFrom(const Bytes& bytes) {
    if (!testing::MakePipe(ends)) std::abort();
    writer = std::thread([this, &bytes] {
      for (std::size_t at = 0; at < bytes.size();) {
        const std::int64_t n =
            WriteSome(ends[1], bytes.data() + at, std::min<std::size_t>(65536, bytes.size() - at));
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
      }
      CloseFile(ends[1]);
    });
  }
  ~PipeFrom() {
    writer.join();
    CloseFile(ends[0]);
  }
  int ReadEnd() const { return ends[0]; }

 private:
  int ends[2] = {-1, -1};
  std::thread writer;
};

TEST(CApiTest, DescriptorsAreReadAndWrittenFromWhereTheyStand) {
  const Bytes data = ToBytes(testing::MakeTestData(testing::DataKind::kSkewed, 2'000'000, 9));
  const Bytes packed = BufferCompress(data);
  const std::string head = "head";
  testing::ScratchDir dir;
  testing::WriteFile(dir / "in", head + std::string(data.begin(), data.end()));
  const auto written = [&](const char* name, const auto& call) {
    const int output = testing::OpenDescriptor(dir / name, true);
    EXPECT_EQ(WriteSome(output, head.data(), head.size()), 4);
    EXPECT_EQ(call(output), TARVEL_OK) << name;
    EXPECT_TRUE(testing::IsOpenDescriptor(output)) << name;
    CloseFile(output);
    return testing::ReadFile(dir / name);
  };
  // A regular file from its offset on, read twice by position.
  const int input = testing::OpenDescriptor(dir / "in", false);
  ASSERT_EQ(Seek(input, 4, SeekFrom::kStart), 4);
  EXPECT_TRUE(written("file.tv", [&](int output) {
                return tarvel_compress_fd(input, output, 2, nullptr, nullptr);
              }) == head + std::string(packed.begin(), packed.end()));
  CloseFile(input);
  // A pipe, copied aside.
  PipeFrom raw(data);
  EXPECT_TRUE(written("pipe.tv", [&](int output) {
                return tarvel_compress_fd(raw.ReadEnd(), output, 2, nullptr, nullptr);
              }) == head + std::string(packed.begin(), packed.end()));
  PipeFrom compressed(packed);
  EXPECT_TRUE(written("restored", [&](int output) {
                return tarvel_decompress_fd(compressed.ReadEnd(), output, 2, nullptr, nullptr);
              }) == head + std::string(data.begin(), data.end()));
}

}  // namespace
}  // namespace tarvel
