// Our buffer calls beside the Huffman coder inside zstd, from Debian's
// static libzstd, on whole files in memory: one thread, rounds in
// alternation, medians, ranges and the ratios of each round.
//
// usage: tarvel_huf_bench [--rounds N] FILE...   (pin it: taskset -c 0)
//
// zstd's coder works on blocks of at most 128 KiB, each with its own table;
// a block that it would not shrink is kept raw, and a block of one byte
// value as that byte, as zstd keeps them.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tarvel.h"
#include "tarvel/tarvel.h"

// The coder's entry points, exported by libzstd.a (from its huf.h, 1.5.4).
extern "C" {
std::size_t HUF_compress4X_repeat(void* dst, std::size_t dstSize, const void* src,
                                  std::size_t srcSize, unsigned maxSymbolValue, unsigned tableLog,
                                  void* workSpace, std::size_t wkspSize, std::size_t* hufTable,
                                  int* repeat, int flags);
std::size_t HUF_decompress4X_hufOnly_wksp(std::uint32_t* dctx, void* dst, std::size_t dstSize,
                                          const void* cSrc, std::size_t cSrcSize, void* workSpace,
                                          std::size_t wkspSize, int flags);
unsigned HUF_isError(std::size_t code);
std::size_t HUF_compressBound(std::size_t size);
}

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kBlock = std::size_t{128} << 10;
constexpr int kBmi2 = 1;
constexpr unsigned kTableLog = 11;
constexpr unsigned kMaxSymbol = 255;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "huf_bench: %s\n", what.c_str());
  std::exit(1);
}

// zstd's coder over the blocks of a file: each block's compressed bytes, or
// none for a block kept raw.
struct HufBlocks {
  std::vector<std::size_t> from, size;  // in the input
  std::vector<std::size_t> at, packed;  // in `out`; 0 bytes: raw, 1: one byte repeated
  Bytes out;
  std::vector<std::uint64_t> work = std::vector<std::uint64_t>(8704 / 8 + 1);
  std::vector<std::size_t> table = std::vector<std::size_t>(kMaxSymbol + 2);

  void Compress(const Bytes& in) {
    from.clear(), size.clear(), at.clear(), packed.clear();
    std::size_t used = 0;
    for (std::size_t start = 0; start < in.size(); start += kBlock) {
      const std::size_t n = std::min(kBlock, in.size() - start);
      int repeat = 0;
      std::size_t got = HUF_compress4X_repeat(out.data() + used, out.size() - used, &in[start], n,
                                              kMaxSymbol, kTableLog, work.data(), work.size() * 8,
                                              table.data(), &repeat, kBmi2);
      if (HUF_isError(got)) Fail("HUF_compress4X_repeat failed");
      if (got == 0 || got >= n) {  // kept raw
        std::memcpy(out.data() + used, &in[start], n);
        got = 0;
      }
      from.push_back(start), size.push_back(n), at.push_back(used), packed.push_back(got);
      used += got == 0 ? n : got;
    }
  }

  std::size_t CompressedBytes() const {
    std::size_t total = 0;
    for (std::size_t k = 0; k < size.size(); ++k) total += packed[k] == 0 ? size[k] : packed[k];
    return total;
  }

  void Decompress(std::vector<std::uint8_t>& restored) {
    std::vector<std::uint32_t> dtable((std::size_t{1} << 12) + 1);
    std::vector<std::uint64_t> space(2560 / 8);
    for (std::size_t k = 0; k < size.size(); ++k) {
      if (packed[k] == 0) {
        std::memcpy(&restored[from[k]], &out[at[k]], size[k]);
        continue;
      }
      if (packed[k] == 1) {
        std::memset(&restored[from[k]], out[at[k]], size[k]);
        continue;
      }
      dtable[0] = 12 * 0x01000001u;
      const std::size_t got =
          HUF_decompress4X_hufOnly_wksp(dtable.data(), &restored[from[k]], size[k], &out[at[k]],
                                        packed[k], space.data(), space.size() * 8, kBmi2);
      if (HUF_isError(got) || got != size[k]) Fail("HUF_decompress4X_hufOnly_wksp failed");
    }
  }
};

double Seconds(const std::function<void()>& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Figures {
  std::vector<double> speeds;  // MB/s of original data
  std::vector<double> ratios;  // our speed over the peer's, round by round
};

void Print(const char* name, const Figures& figures, const char* peer) {
  const auto [low, high] = std::minmax_element(figures.speeds.begin(), figures.speeds.end());
  std::printf("  %-34s %7.0f MB/s (%5.0f-%5.0f)", name, Median(figures.speeds), *low, *high);
  if (!figures.ratios.empty()) {
    const auto [least, most] = std::minmax_element(figures.ratios.begin(), figures.ratios.end());
    std::printf("  %5.2fx %s (%4.2f-%4.2f)", Median(figures.ratios), peer, *least, *most);
  }
  std::printf("\n");
}

void Run(const std::string& path, int rounds) {
  std::ifstream file(path, std::ios::binary);
  const Bytes data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (data.empty()) Fail("cannot read " + path);
  const double megabytes = static_cast<double>(data.size()) / 1e6;

  // Every buffer is made and touched once before the rounds.
  HufBlocks huf;
  huf.out.assign(data.size() + data.size() / kBlock * 8 + HUF_compressBound(kBlock), 1);
  Bytes packed(tarvel_compress_bound(data.size()), 1);
  Bytes restored(data.size(), 1);
  std::vector<std::uint8_t> kept;
  std::size_t packedSize = 0;
  if (tarvel_compress(data.data(), data.size(), packed.data(), packed.size(), &packedSize, 1) !=
      0) {
    Fail("tarvel_compress failed");
  }
  // The kept vector grows to the room the decoder asks for on its first
  // call, which is made here.
  if (!tarvel::Decompress({packed.data(), packedSize}, kept, 1)) Fail("Decompress failed");
  huf.Compress(data);
  tarvel_decoder* decoder = tarvel_decoder_new();

  Figures hufIn, hufOut, ourIn, ourOut, ourVector, ourStream;
  for (int round = 0; round < rounds; ++round) {
    const double hufPack = Seconds([&] { huf.Compress(data); });
    const double ourPack = Seconds([&] {
      if (tarvel_compress(data.data(), data.size(), packed.data(), packed.size(), &packedSize, 1) !=
          0) {
        Fail("tarvel_compress failed");
      }
    });
    const double hufUnpack = Seconds([&] { huf.Decompress(restored); });
    if (restored != data) Fail("zstd's coder did not restore " + path);
    std::fill(restored.begin(), restored.end(), 0);
    const double ourUnpack = Seconds([&] {
      std::size_t size = 0;
      if (tarvel_decompress(packed.data(), packedSize, restored.data(), restored.size(), &size,
                            1) != 0 ||
          size != data.size()) {
        Fail("tarvel_decompress failed");
      }
    });
    if (restored != data) Fail("tarvel_decompress did not restore " + path);
    const double vectorUnpack = Seconds([&] {
      if (!tarvel::Decompress({packed.data(), packedSize}, kept, 1)) Fail("Decompress failed");
    });
    if (kept != data) Fail("Decompress did not restore " + path);
    const double streamUnpack = Seconds([&] {
      tarvel_decoder_reset(decoder);
      tarvel_out out{restored.data(), restored.size(), 0};
      int status = 0;
      for (std::size_t at = 0; status == 0;) {
        const std::size_t piece = std::min(kBlock, packedSize - at);
        tarvel_in in{packed.data() + at, piece, 0};
        status = tarvel_decoder_run(decoder, &out, &in, at + piece == packedSize ? 1 : 0);
        at += in.pos;
      }
      if (status != 1 || out.pos != data.size()) Fail("the streaming decoder failed");
    });
    if (restored != data) Fail("the streaming decoder did not restore " + path);

    hufIn.speeds.push_back(megabytes / hufPack);
    ourIn.speeds.push_back(megabytes / ourPack);
    ourIn.ratios.push_back(hufPack / ourPack);
    hufOut.speeds.push_back(megabytes / hufUnpack);
    ourOut.speeds.push_back(megabytes / ourUnpack);
    ourOut.ratios.push_back(hufUnpack / ourUnpack);
    ourVector.speeds.push_back(megabytes / vectorUnpack);
    ourVector.ratios.push_back(hufUnpack / vectorUnpack);
    ourStream.speeds.push_back(megabytes / streamUnpack);
    ourStream.ratios.push_back(hufUnpack / streamUnpack);
  }
  tarvel_decoder_free(decoder);

  std::printf(
      "%s: %.1f MB, %d rounds; sizes: tarvel %.1f %%, zstd's Huffman coder %.1f %%\n", path.c_str(),
      megabytes, rounds, 100.0 * static_cast<double>(packedSize) / static_cast<double>(data.size()),
      100.0 * static_cast<double>(huf.CompressedBytes()) / static_cast<double>(data.size()));
  Print("compress: zstd's coder", hufIn, "");
  Print("compress: tarvel_compress", ourIn, "zstd's");
  Print("decompress: zstd's coder", hufOut, "");
  Print("decompress: tarvel_decompress", ourOut, "zstd's");
  Print("decompress: Decompress, kept vector", ourVector, "zstd's");
  Print("decompress: tarvel_decoder_run", ourStream, "zstd's");
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  std::vector<std::string> files;
  for (int k = 1; k < argc; ++k) {
    if (std::string(argv[k]) == "--rounds" && k + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++k]));
    } else {
      files.emplace_back(argv[k]);
    }
  }
  if (files.empty()) Fail("usage: tarvel_huf_bench [--rounds N] FILE...");
  for (const std::string& file : files) Run(file, rounds);
  return 0;
}
