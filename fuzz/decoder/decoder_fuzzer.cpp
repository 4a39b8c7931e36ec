// Any bytes given to the decoder: it must accept or reject them with a
// reason, never crash, hang or touch memory it does not own, and decode
// them the same on two threads with small segments as on one, as a stream
// in one piece decoded in lanes of small parts, and as a stream cut into
// pieces of sizes taken from the bytes themselves.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "decode/file_decoder.h"
#include "decode/stream_decoder.h"
#include "tarvel.h"
#include "tarvel/tarvel.h"

namespace {

// The bytes through the streaming decoder, in pieces and with room of 1 to
// 64 bytes as the bytes themselves choose; its status, 1 on success. Bytes
// left after the end are given again, as a caller who reads on would find
// them.
int Stream(const std::uint8_t* data, std::size_t size, std::string& restored) {
  tarvel_decoder* decoder = tarvel_decoder_new();
  std::size_t fed = 0;
  std::size_t k = 0;
  int status = 0;
  while (status == 0 || (status == 1 && fed < size)) {
    const std::size_t piece =
        size == 0 ? 0 : std::min<std::size_t>(size - fed, 1 + data[k++ % size] % 64);
    tarvel_in in{data + fed, piece, 0};
    const int last = fed + piece == size ? 1 : 0;
    do {
      std::uint8_t room[64];
      tarvel_out out{room, std::size_t{1} + (size > 0 ? data[k++ % size] % 64u : 63u), 0};
      status = tarvel_decoder_run(decoder, &out, &in, last);
      restored.append(reinterpret_cast<const char*>(room), out.pos);
      // Done in a last call: nothing was left after the end, whatever was
      // held for the room.
      if (status == 1 && last != 0 && in.pos != in.size) std::abort();
    } while (status == 0 && (in.pos < in.size || last != 0));
    fed += in.pos;
  }
  tarvel_decoder_free(decoder);
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  const tarvel::Result result = tarvel::Decompress({data, size}, bytes, /*threads=*/1);
  const bool rejected = result.code == tarvel::Result::Code::kInvalidData;
  if (!rejected && !result) std::abort();               // nothing else can fail in memory
  if (rejected == result.reason.empty()) std::abort();  // a rejection always says why
  if (!rejected && result.inputBytes != size) std::abort();
  const std::string restored(bytes.begin(), bytes.end());

  // Again on two threads with small segments, which only the inside reaches.
  const std::string_view compressed(reinterpret_cast<const char*>(data), size);
  const std::size_t segmentBytes = 1 + (size > 0 ? data[size - 1] % 61 : 0);
  std::string again;
  const tarvel::DecodeResult threaded = tarvel::DecodeBytes(compressed, again, 2, segmentBytes);
  if ((threaded.status == tarvel::DecodeResult::Status::kInvalid) != rejected ||
      threaded.reason != result.reason) {
    std::abort();
  }
  if (!rejected &&
      (again != restored || static_cast<std::uint64_t>(threaded.inputBytes) != result.inputBytes)) {
    std::abort();
  }

  // In one piece with room for all, through a streaming decoder whose
  // lanes take parts of a few bytes.
  tarvel::StreamDecoder whole(segmentBytes);
  std::vector<std::uint8_t> room(size * 8 + 64);  // every code takes a bit
  std::size_t inPos = 0;
  std::size_t outPos = 0;
  const auto wholeStatus = whole.Run(data, size, inPos, room.data(), room.size(), outPos, true);
  if ((wholeStatus == tarvel::StreamDecoder::Status::kInvalid) != rejected ||
      (!rejected && (wholeStatus != tarvel::StreamDecoder::Status::kDone || inPos != size ||
                     restored.compare(0, std::string::npos,
                                      reinterpret_cast<const char*>(room.data()), outPos) != 0))) {
    std::abort();
  }

  std::string streamed;
  const int status = Stream(data, size, streamed);
  if (rejected ? std::string_view(tarvel_status_text(status)) != result.reason
               : status != 1 || streamed != restored) {
    std::abort();
  }
  return 0;
}
