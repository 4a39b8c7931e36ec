// The C interface: streams in pieces, in both directions.
#include <cstdint>
#include <memory>
#include <new>
#include <optional>

#include "api/c_status.h"
#include "decode/stream_decoder.h"
#include "encode/stream_encoder.h"
#include "format/code_plan.h"
#include "model/symbol_count.h"

struct tarvel_decoder {
  tarvel::StreamDecoder decoder;
};

struct tarvel_encoder {
  // None for data without bytes, whose compressed form is empty.
  std::optional<tarvel::StreamEncoder> encoder;
  std::uint64_t size = 0;
  bool changed = false;  // bytes came where none were counted
};

namespace {

bool Valid(const tarvel_in* in, const tarvel_out* out) {
  return in != nullptr && out != nullptr && in->pos <= in->size && out->pos <= out->size &&
         (in->data != nullptr || in->size == 0) && (out->data != nullptr || out->size == 0);
}

// One run of a streaming coder over the caller's buffers: 0 for more, 1
// when done, else `failure()`.
template <typename Coder, typename Failure>
int RunOn(Coder& coder, tarvel_out* out, tarvel_in* in, int last, const Failure& failure) {
  return tarvel::GuardedStatus([&]() -> int {
    const auto status =
        coder.Run(static_cast<const std::uint8_t*>(in->data), in->size, in->pos,
                  static_cast<std::uint8_t*>(out->data), out->size, out->pos, last != 0);
    if (status == Coder::Status::kMore) return 0;
    if (status == Coder::Status::kDone) return 1;
    return failure();
  });
}

}  // namespace

extern "C" {

tarvel_decoder* tarvel_decoder_new(void) { return new (std::nothrow) tarvel_decoder; }

int tarvel_decoder_run(tarvel_decoder* decoder, tarvel_out* out, tarvel_in* in, int last) {
  if (decoder == nullptr || !Valid(in, out)) return TARVEL_ERROR_ARGUMENT;
  return RunOn(decoder->decoder, out, in, last,
               [&] { return tarvel::FaultStatus(decoder->decoder.FaultFound()); });
}

void tarvel_decoder_reset(tarvel_decoder* decoder) {
  if (decoder != nullptr) decoder->decoder.Reset();
}

void tarvel_decoder_free(tarvel_decoder* decoder) { delete decoder; }

void tarvel_count(uint64_t counts[256], const void* data, size_t size) {
  if (counts == nullptr || data == nullptr || size == 0) return;
  tarvel::Count added[256] = {};
  const auto* const bytes = static_cast<const std::uint8_t*>(data);
  // By pairs where a piece is long enough to pay for their table, and its
  // first bytes show that they pay; else, and when there is no memory for
  // the table, byte by byte.
  constexpr std::size_t kPairPieceBytes = std::size_t{1} << 20;
  constexpr std::size_t kSampleBytes = std::size_t{1} << 17;
  bool counted = false;
  if (size >= kPairPieceBytes && tarvel::PairsPay(bytes, kSampleBytes)) {
    try {
      tarvel::PairCounter pairs;
      pairs.Add(bytes, size, added);
      pairs.Flush(added);
      counted = true;
    } catch (const std::bad_alloc&) {
    }
  }
  if (!counted) tarvel::CountBlock(bytes, size, added);
  for (int value = 0; value < 256; ++value) counts[value] += static_cast<uint64_t>(added[value]);
}

tarvel_encoder* tarvel_encoder_new(const uint64_t counts[256]) {
  if (counts == nullptr) return nullptr;
  try {
    auto encoder = std::make_unique<tarvel_encoder>();
    tarvel::FrequencyTable table(256, 0);
    // The counts' total must be held by the code tree's weights.
    std::uint64_t total = 0;
    for (int value = 0; value < 256; ++value) {
      total += counts[value];
      if (counts[value] > static_cast<uint64_t>(INT64_MAX) || total > INT64_MAX) return nullptr;
      table[static_cast<std::size_t>(value)] = static_cast<tarvel::Count>(counts[value]);
    }
    if (total > 0) {
      tarvel::CodePlan plan = tarvel::PlanCodes(table);
      if (plan.payloadBits < 0) return nullptr;  // more bits than a size holds
      encoder->size = static_cast<std::uint64_t>(plan.CompressedBytes());
      encoder->encoder.emplace(plan.table, std::move(plan.header), plan.dataBytes,
                               plan.payloadBits);
    }
    return encoder.release();
  } catch (...) {
    return nullptr;
  }
}

uint64_t tarvel_encoder_size(const tarvel_encoder* encoder) {
  return encoder != nullptr ? encoder->size : 0;
}

int tarvel_encoder_run(tarvel_encoder* encoder, tarvel_out* out, tarvel_in* in, int last) {
  if (encoder == nullptr || !Valid(in, out)) return TARVEL_ERROR_ARGUMENT;
  if (!encoder->encoder) {  // nothing was counted: nothing may come
    encoder->changed = encoder->changed || in->pos < in->size;
    if (encoder->changed) return TARVEL_ERROR_INPUT_CHANGED;
    return last != 0 ? 1 : 0;
  }
  return RunOn(*encoder->encoder, out, in, last,
               [] { return static_cast<int>(TARVEL_ERROR_INPUT_CHANGED); });
}

void tarvel_encoder_free(tarvel_encoder* encoder) { delete encoder; }

}  // extern "C"
