// Inputs of 2^31 bytes and more: sparse files, compressed by the binary into
// a FIFO and decoded as the bytes arrive, so that nothing large is stored.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "decode/file_decoder.h"
#include "encode/payload_writer.h"
#include "format/header_writer.h"
#include "io/descriptor_stream.h"
#include "model/code_tree.h"
#include "support/codes.h"
#include "support/scratch.h"

namespace tarvel {
namespace {

using testing::ScratchDir;

// A sparse file: zeros, except for the patches.
struct SparseInput {
  std::int64_t size;
  std::map<std::int64_t, std::string> patches;  // by offset; no overlaps

  void Create(const std::filesystem::path& path) const {
    { std::ofstream create(path, std::ios::binary); }
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& [offset, bytes] : patches) {
      file.seekp(offset);
      file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  }

  FrequencyTable Counts() const {
    FrequencyTable counts(256, 0);
    counts[0] = size;
    for (const auto& [offset, bytes] : patches) {
      for (const char c : bytes) {
        --counts[0];
        ++counts[static_cast<unsigned char>(c)];
      }
    }
    return counts;
  }
};

// Checks every restored byte against the sparse input as it arrives.
class ComparingSink : public ByteSink {
 public:
  explicit ComparingSink(const SparseInput& input) : input(input) {}

  bool Write(const std::uint8_t* data, std::size_t size) override {
    static const std::uint8_t kZeros[4096] = {};
    for (std::size_t done = 0; done < size;) {
      const std::size_t step = std::min(size - done, sizeof kZeros);
      if (std::memcmp(data + done, kZeros, step) != 0) {
        for (std::size_t k = 0; k < step; ++k) {
          if (data[done + k] != Expected(offset + static_cast<std::int64_t>(done + k))) {
            ++mismatches;
          }
        }
      } else {
        for (const auto& [at, bytes] : input.patches) {
          const std::int64_t first = offset + static_cast<std::int64_t>(done);
          if (at + static_cast<std::int64_t>(bytes.size()) > first &&
              at < first + static_cast<std::int64_t>(step)) {
            ++mismatches;  // a patch was expected here
          }
        }
      }
      done += step;
    }
    offset += static_cast<std::int64_t>(size);
    return true;
  }

  std::int64_t offset = 0;
  std::int64_t mismatches = 0;

 private:
  std::uint8_t Expected(std::int64_t at) const {
    auto patch = input.patches.upper_bound(at);
    if (patch == input.patches.begin()) return 0;
    --patch;
    const std::int64_t inside = at - patch->first;
    if (inside < static_cast<std::int64_t>(patch->second.size())) {
      return static_cast<std::uint8_t>(patch->second[static_cast<std::size_t>(inside)]);
    }
    return 0;
  }

  const SparseInput& input;
};

// Keeps the first bytes that pass through.
class RecordingSource : public ByteSource {
 public:
  explicit RecordingSource(ByteSource& inner) : inner(inner) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::ptrdiff_t got = inner.Read(buffer, size);
    if (got > 0 && head.size() < 1024)
      head.append(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(got));
    return got;
  }
  std::string head;

 private:
  ByteSource& inner;
};

std::string ExpectedHeader(const FrequencyTable& counts) {
  CodeTable table;
  SymbolIndex index;
  testing::MakeCodes(counts, table, index);
  std::ostringstream sink;
  {
    BitWriter writer(sink);
    WriteHeader(writer, table, index, -1);
  }
  return std::move(sink).str();
}

TEST(LargeInputTest, InputsOf2To31AndMoreBytesCompressExactly) {
  const std::int64_t k2To31 = std::int64_t{1} << 31;
  const std::int64_t k2To32 = std::int64_t{1} << 32;
  const std::vector<SparseInput> inputs = {
      {k2To31 + 1000, {{0, "abc"}, {k2To31 - 2, "xyz"}, {k2To31 + 995, "tail!"}}},
      {k2To32 + 3, {{7, "hello"}, {k2To32 - 1, "\xFF\x01"}, {k2To32 + 2, "!"}}},
  };
  for (const SparseInput& input : inputs) {
    ScratchDir dir;
    input.Create(dir / "in");
    ASSERT_EQ(mkfifo((dir / "out").c_str(), 0600), 0);
    const int pid = testing::StartCommand({TARVEL_BINARY, "in", "out"}, dir.Path(), "/dev/null",
                                          (dir / "stdout").string(), (dir / "stderr").string());
    // The FIFO is opened without waiting for its writer, and read once the
    // first bytes are there: a run that fails before it opens its output
    // ends the test instead of leaving it waiting.
    const int fifo = open((dir / "out").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifo, 0);
    for (;;) {
      pollfd ready{fifo, POLLIN, 0};
      if (poll(&ready, 1, 100) > 0 && (ready.revents & POLLIN) != 0) break;
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0)
          << "tarvel ended before writing: " << testing::ReadFile(dir / "stderr");
    }
    ASSERT_EQ(fcntl(fifo, F_SETFL, 0), 0);
    DescriptorStream compressed(fifo);
    StreamSource stream(compressed);
    RecordingSource source(stream);
    ComparingSink sink(input);
    const DecodeResult result = Decode(source, sink);
    close(fifo);
    ASSERT_EQ(testing::WaitCommand(pid), 0) << testing::ReadFile(dir / "stderr");

    EXPECT_EQ(result.status, DecodeResult::Status::kOk) << result.reason;
    EXPECT_EQ(sink.offset, input.size);
    EXPECT_EQ(sink.mismatches, 0);
    const std::string header = ExpectedHeader(input.Counts());
    EXPECT_EQ(source.head.substr(0, header.size()), header);

    const std::string report = testing::ReadFile(dir / "stdout");
    std::string sizes = "\n";
    sizes.append(std::to_string(input.size)).append(" characters input.\n");
    sizes.append(std::to_string(result.inputBytes)).append(" characters output.\n");
    EXPECT_NE(report.find(sizes), std::string::npos) << report;
  }
}

// A disk image of 5 GiB, mostly unallocated: its zero runs cost a bit each
// and come back as holes, not as gigabytes of written zeros.
TEST(LargeInputTest, ASparseFileOf5GiBRestoresWithItsHoles) {
  ScratchDir dir;
  const auto result = testing::RunShell(
      std::string("T='") + TARVEL_BINARY + "'; U='" + UNTARVEL_BINARY +
          "'\n"
          "truncate -s 5G in; printf head | dd of=in conv=notrunc status=none\n"
          "head -c 16384 /dev/urandom | dd of=in bs=4096 seek=600000 conv=notrunc status=none\n"
          "printf tail >> in; $T in in.tv > /dev/null && $U in.tv back > /dev/null\n"
          "cmp in back && echo same\n"
          "[ $(stat -c %b back) -le $(( $(stat -c %b in) + 64 )) ] && echo sparse",
      dir.Path());
  EXPECT_EQ(result.out, "same\nsparse\n") << result.err;
}

}  // namespace
}  // namespace tarvel
