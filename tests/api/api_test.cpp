// The public API: what another program sees of the codec.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "api/compress.h"
#include "support/scratch.h"
#include "support/test_data.h"
#include "tarvel/tarvel.h"

namespace tarvel {
namespace {

using Code = Result::Code;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(ApiTest, RoundTripsInMemoryAndThroughFilesGiveTheProgramsBytes) {
  for (const auto kind : testing::AllDataKinds()) {
    const std::string data = testing::MakeTestData(kind, 1'500'000, 5);
    const std::vector<std::uint8_t> packed = Compress(Bytes(data));
    EXPECT_EQ(packed, Bytes(CompressBytes(data))) << testing::DataKindName(kind);
    EXPECT_EQ(Compress(Bytes(data), /*threads=*/3), packed);
    std::vector<std::uint8_t> restored;
    const Result result = Decompress(packed, restored, /*threads=*/2);
    ASSERT_TRUE(result) << result.reason;
    EXPECT_EQ(result.inputBytes, packed.size());
    EXPECT_EQ(result.outputBytes, data.size());
    EXPECT_TRUE(restored == Bytes(data));

    testing::ScratchDir dir;
    testing::WriteFile(dir / "in", data);
    const Result compressed = CompressFile((dir / "in").string(), (dir / "in.tv").string());
    ASSERT_TRUE(compressed);
    EXPECT_EQ(compressed.inputBytes, data.size());
    EXPECT_EQ(compressed.outputBytes, packed.size());
    EXPECT_TRUE(Bytes(testing::ReadFile(dir / "in.tv")) == packed);
    ASSERT_TRUE(DecompressFile((dir / "in.tv").string(), (dir / "back").string()));
    EXPECT_TRUE(testing::ReadFile(dir / "back") == data);
  }
  std::vector<std::uint8_t> restored{1, 2};
  EXPECT_TRUE(Compress({}).empty());
  EXPECT_TRUE(Decompress({}, restored));
  EXPECT_TRUE(restored.empty());
  EXPECT_EQ(std::string(Version()), std::to_string(TARVEL_VERSION_MAJOR) + "." +
                                        std::to_string(TARVEL_VERSION_MINOR) + "." +
                                        std::to_string(TARVEL_VERSION_PATCH));
}

TEST(ApiTest, EveryFailureIsReturnedWithItsCode) {
  struct Case {
    const char* setup;  // shell commands run in the folder first
    bool compress;
    std::string input, output;
    Code code;
  };
  const std::vector<Case> cases = {
      {"", true, "missing", "out", Code::kOpenInput},
      {"", true, "in", "nowhere/out", Code::kOpenOutput},
      {"ln -s in link", true, "in", "link", Code::kSameFile},
      {"", false, "folder", "out", Code::kOpenInput},
      {"", false, "in", "out", Code::kInvalidData},
      // A disk-full on a helper thread, in the middle of a threaded pass, is
      // returned after the threads have stopped.
      {"", true, "in", "/dev/full", Code::kWriteOutput},
      {"", false, "in.tv", "/dev/full", Code::kWriteOutput},
      {"", true, "in", "/proc/self/fd/999", Code::kOpenOutput},  // not open
      {"", true, "/proc/self/mem", "out", Code::kReadInput},     // its first read fails
      {"", true, "/proc/version", "out", Code::kTemporaryCopy},  // with TMPDIR missing
  };
  // An input changed between the passes and a rename refused by a sticky
  // folder need another process; the command-line tests make them.
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 3'000'000, 1);
  for (const Case& c : cases) {
    testing::ScratchDir dir;
    testing::WriteFile(dir / "in", data);
    testing::WriteFile(dir / "in.tv", CompressBytes(data));
    std::filesystem::create_directory(dir / "folder");
    ASSERT_EQ(testing::RunShell(c.setup, dir.Path()).exitCode, 0);
    const auto path = [&](const std::string& name) {
      return name.front() == '/' ? name : (dir / name).string();
    };
    FileOptions options;
    options.threads = 2;
    if (c.code == Code::kTemporaryCopy) setenv("TMPDIR", "/nonexistent", 1);
    const Result result = c.compress ? CompressFile(path(c.input), path(c.output), options)
                                     : DecompressFile(path(c.input), path(c.output), options);
    unsetenv("TMPDIR");
    EXPECT_EQ(result.code, c.code) << c.input << " -> " << c.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    EXPECT_FALSE(result);
    EXPECT_EQ(result.reason.empty(), c.code != Code::kInvalidData) << result.reason;
  }
}

// The address space the process holds now, in bytes.
std::uint64_t AddressSpaceBytes() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

TEST(ApiTest, MemoryRunningOutOnAnyThreadIsACodeAndKeepsNothing) {
#if defined(__SANITIZE_ADDRESS__) || defined(TARVEL_EMULATED)
  GTEST_SKIP() << "the sanitizers or the emulator reserve more address space than the limit "
                  "leaves";
#endif
  // Zero bits for byte 0 (code 0) up to the end symbol (code 1): each byte
  // restores to eight zero bytes, 512 MiB in all.
  std::vector<std::uint8_t> zeros = Bytes(testing::FromHex("00 00 00 00 00 01 01 00 01"));
  zeros.resize(zeros.size() + (std::size_t{64} << 20), 0);
  zeros.push_back(0x80);
  const std::vector<std::uint8_t> random =
      Bytes(testing::MakeTestData(testing::DataKind::kRandom, 64 << 20, 2));
  for (const bool compress : {false, true}) {
    for (const int threads : {1, 2}) {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        // Room for a few MiB more, not for the output.
        const rlimit limit{AddressSpaceBytes() + (48 << 20), RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        std::vector<std::uint8_t> out{1};
        const Result result =
            compress ? Compress(random, out, threads) : Decompress(zeros, out, threads);
        _exit(result.code == Code::kOutOfMemory && out.empty() ? 0 : 1);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << (compress ? "Compress" : "Decompress") << " on " << threads << " threads: " << status;
    }
  }
}

}  // namespace
}  // namespace tarvel
