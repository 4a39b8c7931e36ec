// The hot loops in memory: the byte count and the payload encoding, on the
// same generated data that the tests use.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "api/compress.h"
#include "encode/payload_encoder.h"
#include "encode/payload_writer.h"
#include "io/cpu.h"
#include "model/code_tree.h"
#include "model/symbol_count.h"
#include "support/test_data.h"
#include "tarvel.h"
#include "tarvel/tarvel.h"

namespace tarvel {
namespace {

using testing::DataKind;

constexpr std::size_t kBytes = std::size_t{16} << 20;

// The generated data of `kind`; with TARVEL_BENCH_FILE set, the first 16 MiB
// of that file instead, whatever the kind.
const std::string& Data(DataKind kind) {
  static std::map<DataKind, std::string> cache;
  auto& data = cache[kind];
  if (!data.empty()) return data;
  if (const char* file = std::getenv("TARVEL_BENCH_FILE"); file != nullptr) {
    std::ifstream in(file, std::ios::binary);
    data.resize(kBytes);
    in.read(data.data(), static_cast<std::streamsize>(kBytes));
    data.resize(static_cast<std::size_t>(in.gcount()));
  } else {
    data = testing::MakeTestData(kind, kBytes, 1);
  }
  return data;
}

void BM_CountBlock(benchmark::State& state, DataKind kind) {
  const std::string& data = Data(kind);
  for (auto _ : state) {
    FrequencyTable counts(256, 0);
    CountBlock(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), counts.data());
    benchmark::DoNotOptimize(counts.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_CountPairs(benchmark::State& state, DataKind kind) {
  const std::string& data = Data(kind);
  PairCounter pairs;
  for (auto _ : state) {
    FrequencyTable counts(256, 0);
    pairs.Add(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), counts.data());
    pairs.Flush(counts.data());
    benchmark::DoNotOptimize(counts.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_CountByteByByte(benchmark::State& state, DataKind kind) {
  const std::string& data = Data(kind);
  for (auto _ : state) {
    std::istringstream input(data);
    benchmark::DoNotOptimize(CountSymbolsByteByByte(input));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

struct Codes {
  CodeTable table;
  SymbolIndex index;
  explicit Codes(const std::string& data) {
    std::istringstream input(data);
    const FrequencyTable counts = CountSymbols(input);
    NodeList list;
    auto root = BuildCodeTree(counts, list);
    std::int32_t position = 0;
    BitString code;
    root->AssignCodes(position, code, table);
    BuildSymbolIndex(table, index);
  }
};

// An output stream that takes every byte and keeps none.
class DiscardBuffer : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize size) override { return size; }
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

// The packed encoder alone, byte by byte or by pairs, into a writer whose
// stream discards the bytes.
void EncodeInMemory(benchmark::State& state, DataKind kind, bool byPairs) {
  const std::string& data = Data(kind);
  const Codes codes(data);
  const PackedCodes packed = PackCodes(codes.table);
  const PairCodes pairs = PackPairs(packed);
  const std::size_t slice = BytesPerBlock(packed);
  DiscardBuffer discardBuffer;
  std::ostream discard(&discardBuffer);
  for (auto _ : state) {
    BitWriter writer(discard);
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
    for (std::size_t done = 0; done < data.size();) {
      const std::size_t size = std::min(slice, data.size() - done);
      BitCursor cursor = writer.Begin(size * static_cast<std::size_t>(packed.maxLength) / 8 + 1);
      EncodeBytes(p + done, size, packed, byPairs ? &pairs : nullptr, cursor);
      writer.End(cursor);
      done += size;
    }
    writer.Abandon();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_EncodeBytes(benchmark::State& state, DataKind kind) { EncodeInMemory(state, kind, false); }
void BM_EncodeBytesPairs(benchmark::State& state, DataKind kind) {
  EncodeInMemory(state, kind, true);
}

// Encoded blocks joined at a bit offset, as the writer joins those that
// other threads encoded: MB/s of joined bytes; with the processor's vector
// steps, or the baseline ones.
void BM_JoinBlocks(benchmark::State& state, bool baseline) {
  UseBaselineInstructions(baseline);
  const std::string& data = Data(DataKind::kRandom);
  constexpr std::size_t kBlock = std::size_t{1} << 17;
  DiscardBuffer discardBuffer;
  std::ostream discard(&discardBuffer);
  for (auto _ : state) {
    BitWriter writer(discard);
    writer.WriteCode(5, 3);
    for (std::size_t done = 0; done + kBlock <= data.size(); done += kBlock) {
      writer.WriteBitBlock(reinterpret_cast<const std::uint8_t*>(data.data()) + done,
                           std::int64_t{kBlock} * 8 - 1);
    }
    writer.Abandon();
  }
  UseBaselineInstructions(false);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// The plain payload: one byte read and one BitString written at a time.
void BM_PayloadByteByByte(benchmark::State& state, DataKind kind) {
  const std::string& data = Data(kind);
  const Codes codes(data);
  DiscardBuffer discardBuffer;
  std::ostream discard(&discardBuffer);
  for (auto _ : state) {
    BitWriter writer(discard);
    std::istringstream input(data);
    WritePayloadByteByByte(writer, input, codes.table, codes.index);
    writer.Abandon();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// Decoding in memory through the public API, on one thread, into a vector
// kept from one call to the next: MB/s of restored data.
void BM_Decode(benchmark::State& state, DataKind kind) {
  const std::string& data = Data(kind);
  const std::vector<std::uint8_t> compressed =
      Compress({reinterpret_cast<const std::uint8_t*>(data.data()), data.size()}, /*threads=*/1);
  std::vector<std::uint8_t> restored;
  restored.reserve(data.size());
  for (auto _ : state) {
    Decompress(compressed, restored, /*threads=*/1);
    benchmark::DoNotOptimize(restored.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// The public buffer calls as a caller makes them, on one thread, into a
// vector (or a buffer) kept from one call to the next: MB/s of original
// data. Beside the loops they are made of: the count by pairs and the packed
// encoder; the decoder into a vector that has its room.
void BM_CompressCall(benchmark::State& state, DataKind kind) {
  const std::string& data = Data(kind);
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.data()),
                                            data.size());
  std::vector<std::uint8_t> compressed;
  for (auto _ : state) {
    Compress(bytes, compressed, /*threads=*/1);
    benchmark::DoNotOptimize(compressed.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_CompressCallC(benchmark::State& state, DataKind kind) {
  const std::string& data = Data(kind);
  std::vector<std::uint8_t> compressed(tarvel_compress_bound(data.size()));
  for (auto _ : state) {
    size_t size = 0;
    tarvel_compress(data.data(), data.size(), compressed.data(), compressed.size(), &size, 1);
    benchmark::DoNotOptimize(compressed.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_DecompressCallC(benchmark::State& state, DataKind kind) {
  const std::string& data = Data(kind);
  const std::vector<std::uint8_t> compressed =
      Compress({reinterpret_cast<const std::uint8_t*>(data.data()), data.size()}, /*threads=*/1);
  std::vector<std::uint8_t> restored(data.size());
  for (auto _ : state) {
    size_t size = 0;
    tarvel_decompress(compressed.data(), compressed.size(), restored.data(), restored.size(), &size,
                      1);
    benchmark::DoNotOptimize(restored.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

#define TARVEL_BENCH_KINDS(fn)                      \
  BENCHMARK_CAPTURE(fn, text, DataKind::kText);     \
  BENCHMARK_CAPTURE(fn, random, DataKind::kRandom); \
  BENCHMARK_CAPTURE(fn, skewed, DataKind::kSkewed); \
  BENCHMARK_CAPTURE(fn, runs, DataKind::kRuns)

TARVEL_BENCH_KINDS(BM_CountBlock);
TARVEL_BENCH_KINDS(BM_CountPairs);
TARVEL_BENCH_KINDS(BM_EncodeBytes);
TARVEL_BENCH_KINDS(BM_EncodeBytesPairs);
TARVEL_BENCH_KINDS(BM_Decode);
TARVEL_BENCH_KINDS(BM_CompressCall);
TARVEL_BENCH_KINDS(BM_CompressCallC);
TARVEL_BENCH_KINDS(BM_DecompressCallC);
BENCHMARK_CAPTURE(BM_CountByteByByte, text, DataKind::kText);
BENCHMARK_CAPTURE(BM_PayloadByteByByte, text, DataKind::kText);
BENCHMARK_CAPTURE(BM_JoinBlocks, vector, false);
BENCHMARK_CAPTURE(BM_JoinBlocks, baseline, true);

}  // namespace
}  // namespace tarvel

BENCHMARK_MAIN();
