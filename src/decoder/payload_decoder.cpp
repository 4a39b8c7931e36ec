#include "decoder/payload_decoder.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "model/page_buffer.h"

namespace tarvel {

namespace {

constexpr std::size_t kDefaultSegmentBytes = std::size_t{1} << 17;
// Every segment carries the first bytes of what follows it: more than the
// longest code (256 bits), so that a symbol that starts in the segment can
// always be finished from its own buffer.
constexpr std::size_t kLookaheadBytes = 64;

constexpr const char* kEndsBeforeEnd = "the payload ends before the end symbol";
constexpr const char* kEndsInsideCode = "the payload ends inside a code";

// The bits of bytes in memory, most significant first.
class MemoryBits {
 public:
  MemoryBits(const std::uint8_t* bytes, std::size_t limit) : bytes(bytes), limit(limit) {}

  // Starts at `bit`. REQUIRES: bit <= limit * 8.
  void Start(std::uint64_t bit) {
    pos = static_cast<std::size_t>(bit / 8);
    buffer = 0;
    available = 0;
    Refill();
    Skip(static_cast<int>(bit % 8));
  }

  // Tops the buffer up to at least 56 bits, or to the limit. With eight
  // bytes at hand one load does it: it takes as many whole bytes as fit, and
  // the bits below `available` are always the stream's next bits, so the
  // next load may lay the same bits over them.
  void Refill() {
    if (limit - pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, bytes + pos, sizeof word);
      buffer |= __builtin_bswap64(word) >> available;
      pos += static_cast<std::size_t>((63 - available) >> 3);
      available |= 56;
      return;
    }
    while (available <= 56 && pos < limit) {
      buffer |= static_cast<std::uint64_t>(bytes[pos++]) << (56 - available);
      available += 8;
    }
  }

  std::uint64_t Position() const { return std::uint64_t{pos} * 8 - available; }
  std::uint32_t Peek(int bits) const { return static_cast<std::uint32_t>(buffer >> (64 - bits)); }
  void Skip(int bits) {
    buffer <<= bits;
    available -= bits;
  }

  const std::uint8_t* bytes;
  std::size_t limit;
  std::size_t pos = 0;
  std::uint64_t buffer = 0;  // pending bits, the next one in the top position
  int available = 0;         // bits of `buffer` that belong to the stream
};

// Walks the code tree bit by bit to the next symbol. Returns its decoding
// index, or -1 when the bits run out first (`inside` tells whether that
// happened inside a code).
std::int32_t WalkTree(MemoryBits& bits, const DecodingTables& tables, bool& inside) {
  std::int32_t node = 0;
  inside = false;
  for (;;) {
    if (bits.available == 0) {
      bits.Refill();
      if (bits.available == 0) return -1;
    }
    const std::int32_t next = tables.children[2 * static_cast<std::size_t>(node) + bits.Peek(1)];
    bits.Skip(1);
    if (next < 0) return -next - 1;
    node = next;
    inside = true;
  }
}

enum class RunEnd { kBoundary, kEndSymbol, kOutOfBits };

struct RunOutcome {
  RunEnd end;
  bool insideCode = false;  // kOutOfBits: whether the bits ran out inside a code
};

// The second lookup for a code longer than kTableBits, from the bits at the
// top of `buffer`, of which at least kTableBits + kLongBits must be the
// stream's: its entry of `longCodes`, or 0 when the tree must decide.
inline std::uint32_t LongCode(const std::uint32_t* longStart, const std::uint16_t* longCodes,
                              std::uint64_t buffer) {
  const std::uint32_t start = longStart[buffer >> (64 - kTableBits)];
  if (start == 0) return 0;
  const auto suffix = static_cast<std::uint32_t>((buffer << kTableBits) >> (64 - (start >> 24)));
  return longCodes[(start & 0xFFFFFF) + suffix];
}

// The next symbol, by one lookup when its code is short. Returns its
// decoding index, or -1 as WalkTree() does.
std::int32_t NextSymbol(MemoryBits& bits, const DecodingTables& tables, bool& inside) {
  if (bits.available < kTableBits) bits.Refill();
  const std::uint32_t entry = tables.first[bits.Peek(kTableBits)];
  const int length = static_cast<int>(entry & 0xF);
  if (length != 0 && length <= bits.available) {
    bits.Skip(length);
    inside = false;
    return static_cast<std::int32_t>(entry >> 4);
  }
  if (length == 0 && bits.available >= kTableBits + kLongBits) {
    const std::uint32_t symbol =
        LongCode(tables.longStart.data(), tables.longCodes.data(), bits.buffer);
    if (symbol != 0) {
      bits.Skip(static_cast<int>(symbol & 0x1F));
      inside = false;
      return static_cast<std::int32_t>(symbol >> 5);
    }
  }
  return WalkTree(bits, tables, inside);
}

// The fast loop works in rounds of four lookups. Each round loads eight
// bytes, which leaves at least 56 bits at hand, and takes at most 48 of
// them; it may start where eight bytes remain and `stopBit` is more than 48
// bits ahead.
constexpr int kLookups = 4;
constexpr std::uint64_t kRoundBits = kLookups * kTableBits;

bool RoundFits(const MemoryBits& bits, std::uint64_t stopBit) {
  return bits.pos + 8 <= bits.limit && bits.Position() + kRoundBits < stopBit;
}

// The fast loop's registers for one stream of bits.
struct FastStream {
  FastStream(const DecodingTables& tables, const MemoryBits& bits, std::uint8_t* out,
             std::uint64_t stopBit)
      : fast(tables.fast.data()),
        longStart(tables.longStart.data()),
        longCodes(tables.longCodes.data()),
        bytes(bits.bytes),
        buffer(bits.buffer),
        available(bits.available),
        pos(bits.pos),
        out(out),
        lastPos(bits.limit >= 8 ? bits.limit - 8 : 0),
        lastStart(stopBit > kRoundBits ? stopBit - kRoundBits - 1 : 0),
        fits(RoundFits(bits, stopBit)) {}

  void Save(MemoryBits& bits, std::uint8_t*& o) const {
    bits.buffer = buffer;
    bits.available = available;
    bits.pos = pos;
    o = out;
  }

  // One round; false when it met a code that the lookups do not cover, or
  // when no further round fits.
  bool Round() {
    std::uint64_t word;
    std::memcpy(&word, bytes + pos, sizeof word);
    buffer |= __builtin_bswap64(word) >> available;
    pos += static_cast<std::size_t>((63 - available) >> 3);
    available |= 56;
    for (int k = 0; k < kLookups; ++k) {
      const std::uint32_t entry = fast[buffer >> (64 - kTableBits)];
      if (EntryCount(entry) == 0) {
        // A long code. At most three lookups took 36 bits, so that the
        // second lookup's 20 are at hand; the round ends with it.
        const std::uint32_t symbol = LongCode(longStart, longCodes, buffer);
        if (symbol == 0) return false;
        *out++ = static_cast<std::uint8_t>(symbol >> 5);
        buffer <<= symbol & 0x1F;
        available -= static_cast<int>(symbol & 0x1F);
        break;
      }
      const std::uint32_t symbols = EntrySymbols(entry);
      std::memcpy(out, &symbols, sizeof symbols);  // the first symbol first
      out += EntryCount(entry);
      buffer <<= EntryLength(entry);
      available -= EntryLength(entry);
    }
    return pos <= lastPos && std::uint64_t{pos} * 8 - static_cast<unsigned>(available) <= lastStart;
  }

  const std::uint32_t* fast;
  const std::uint32_t* longStart;
  const std::uint16_t* longCodes;
  const std::uint8_t* bytes;
  std::uint64_t buffer;
  int available;
  std::size_t pos;
  std::uint8_t* out;
  std::size_t lastPos;
  std::uint64_t lastStart;
  bool fits;
};

// Rounds while they fit, up to a code that the lookups do not cover.
void DecodeFast(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                std::uint8_t*& out) {
  FastStream stream(tables, bits, out, stopBit);
  if (!stream.fits) return;
  while (stream.Round()) {
  }
  stream.Save(bits, out);
}

// The same for two independent streams at once: each lookup waits for the
// one before in its own stream, so the processor works on the other stream
// meanwhile. Stops as soon as either stream cannot go on.
void DecodeFastTwo(MemoryBits& bits1, std::uint8_t*& out1, std::uint64_t stop1,
                   MemoryBits& bits2, std::uint8_t*& out2, std::uint64_t stop2,
                   const DecodingTables& tables) {
  FastStream one(tables, bits1, out1, stop1);
  FastStream two(tables, bits2, out2, stop2);
  if (!one.fits || !two.fits) return;
  for (;;) {
    const bool more1 = one.Round();
    const bool more2 = two.Round();
    if (!more1 || !more2) break;
  }
  one.Save(bits1, out1);
  two.Save(bits2, out2);
}

// Decodes symbols into `out` until a symbol boundary at or past `stopBit`,
// the end symbol, or the end of the bits. `out` needs room for three bytes
// beyond the last symbol.
RunOutcome DecodeRun(MemoryBits& bits, const DecodingTables& tables, std::uint64_t stopBit,
                     std::uint8_t*& out) {
  const std::uint32_t* const fast = tables.fast.data();
  for (;;) {
    DecodeFast(bits, tables, stopBit, out);
    const std::uint64_t position = bits.Position();
    if (position >= stopBit) return {RunEnd::kBoundary};
    // Near `stopBit` one lookup at a time, which cannot pass it when it
    // takes at most kTableBits; then one symbol at a time.
    if (bits.available < kTableBits) bits.Refill();
    if (position + kTableBits <= stopBit && bits.available >= kTableBits) {
      const std::uint32_t entry = fast[bits.Peek(kTableBits)];
      if (EntryCount(entry) != 0) {
        const std::uint32_t symbols = EntrySymbols(entry);
        std::memcpy(out, &symbols, sizeof symbols);
        out += EntryCount(entry);
        bits.Skip(EntryLength(entry));
        continue;
      }
    }
    bool inside = false;
    const std::int32_t decoded = NextSymbol(bits, tables, inside);
    if (decoded < 0) return {RunEnd::kOutOfBits, inside};
    if (decoded == kEndIndex) return {RunEnd::kEndSymbol};
    *out++ = static_cast<std::uint8_t>(decoded);
  }
}

// A guess stops at every checkpoint of its segment, every `checkpointBits`
// bits, and notes the symbol boundary where it stands and how much it had
// decoded. Every 4096 bits in segments of the usual size; more often in
// small ones, so that the tests' small segments have checkpoints too.
std::uint64_t CheckpointBits(std::size_t segmentBytes) {
  return std::clamp<std::uint64_t>(segmentBytes, 64, 4096);
}

struct Checkpoint {
  std::uint32_t bit;
  std::uint32_t decoded;
};

// One segment of the payload, with what a guess found in it.
struct Segment {
  explicit Segment(std::size_t segmentBytes)
      : bytes(segmentBytes + kLookaheadBytes), output(OutputBytes(segmentBytes)) {}

  // Every symbol takes at least one bit, a run ends within the lookahead,
  // and the last store of symbols reaches three bytes further.
  static std::size_t OutputBytes(std::size_t segmentBytes) {
    return (segmentBytes + kLookaheadBytes) * 8 + 16;
  }

  PageBuffer bytes;
  std::size_t size = 0;       // bytes of this segment
  std::size_t lookahead = 0;  // bytes after it, copied behind it

  // What the guess decoded from the first bit: usable only when it ran to
  // the end of the segment without meeting the end symbol.
  bool usable = false;
  std::vector<Checkpoint> checkpoints;
  std::size_t firstValid = 0;  // the checkpoints before it lead to a wrong end
  PageBuffer output;
  std::size_t outputSize = 0;
  std::uint64_t endBit = 0;  // the first boundary at or past size * 8
  bool ready = false;
};

// A guess at a segment: decoded from its first bit, checkpoint by
// checkpoint. Where the guess meets the end symbol or runs out of bits, it
// was wrong (the last segment, which holds the true end symbol, is not
// guessed at): it starts afresh at the next checkpoint, and only the
// checkpoints from there on lead to the end of the segment.
struct Guess {
  Guess(Segment& segment, std::uint64_t checkpointBits)
      : segment(segment),
        bits(segment.bytes.Bytes(), segment.size + segment.lookahead),
        first(segment.output.Bytes()),
        out(first),
        segmentBits(std::uint64_t{segment.size} * 8),
        checkpointBits(checkpointBits),
        stop(std::min(checkpointBits, segmentBits)) {
    bits.Start(0);
    segment.checkpoints.clear();
    segment.firstValid = 0;
    segment.usable = false;
  }

  // Goes on where the fast loop stopped: up to the checkpoint when it is
  // near, else by one symbol, which the fast loop could not decode.
  void Advance(const DecodingTables& tables) {
    if (!RoundFits(bits, stop)) {
      Reached(DecodeRun(bits, tables, stop, out).end);
      return;
    }
    bool inside = false;
    const std::int32_t decoded = NextSymbol(bits, tables, inside);
    if (decoded < 0 || decoded == kEndIndex) {
      Reached(RunEnd::kEndSymbol);
      return;
    }
    *out++ = static_cast<std::uint8_t>(decoded);
  }

  // Decodes the rest of the segment alone.
  void Finish(const DecodingTables& tables) {
    while (!done) {
      DecodeFast(bits, tables, stop, out);
      Advance(tables);
    }
  }

  void Reached(RunEnd end) {
    if (stop >= segmentBits) {
      segment.usable = end == RunEnd::kBoundary;
      segment.outputSize = static_cast<std::size_t>(out - first);
      segment.endBit = bits.Position();
      done = true;
      return;
    }
    if (end != RunEnd::kBoundary) {
      bits.Start(stop);
      segment.firstValid = segment.checkpoints.size();
    }
    segment.checkpoints.push_back({static_cast<std::uint32_t>(bits.Position()),
                                   static_cast<std::uint32_t>(out - first)});
    stop = std::min(stop + checkpointBits, segmentBits);
  }

  Segment& segment;
  MemoryBits bits;
  std::uint8_t* const first;
  std::uint8_t* out;
  const std::uint64_t segmentBits;
  const std::uint64_t checkpointBits;
  std::uint64_t stop;  // the next checkpoint, or the end of the segment
  bool done = false;
};

void GuessAlone(Segment& segment, std::uint64_t checkpointBits,
                const DecodingTables& tables) {
  Guess(segment, checkpointBits).Finish(tables);
}

// Two segments at once, in step while both go on. `finished` is called for
// each as soon as it is done.
template <typename Finished>
void GuessTwo(Segment& segment1, Segment& segment2, std::uint64_t checkpointBits,
              const DecodingTables& tables, const Finished& finished) {
  Guess one(segment1, checkpointBits);
  Guess two(segment2, checkpointBits);
  while (!one.done && !two.done) {
    DecodeFastTwo(one.bits, one.out, one.stop, two.bits, two.out, two.stop, tables);
    one.Advance(tables);
    two.Advance(tables);
  }
  Guess* rest = nullptr;
  if (one.done) {
    finished(segment1);
  } else {
    rest = &one;
  }
  if (two.done) {
    finished(segment2);
  } else {
    rest = &two;
  }
  if (rest == nullptr) return;
  rest->Finish(tables);
  finished(rest == &one ? segment1 : segment2);
}

// The payload pass. Each segment is joined in order: decoded exactly from
// the true boundary where the one before ended, up to where it meets what
// a guess found, and written out. Every thread does what is next: joins the
// first segment when it is ready, else reads two more and guesses at them,
// two in step. (One thread gains by it too: two guesses in step decode
// faster than one true decode.)
class PayloadPass {
 public:
  PayloadPass(const PayloadReader& read, const DecodingTables& tables, ByteSink& sink,
              int threads, std::size_t segmentBytes)
      : read(read),
        tables(tables),
        sink(sink),
        threads(std::max(threads, 1)),
        segmentBytes(segmentBytes),
        checkpointBits(CheckpointBits(segmentBytes)),
        decoded(Segment::OutputBytes(segmentBytes)) {}

  PayloadOutcome Run() {
    std::vector<std::thread> helpers;
    for (int k = 1; k < threads; ++k) helpers.emplace_back([this] { Work(); });
    Work();
    for (auto& helper : helpers) helper.join();
    return *outcome;
  }

 private:
  void Work() {
    const std::size_t inFlight = 4 * static_cast<std::size_t>(threads);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (outcome) return;
      if (!joining && !queue.empty() && queue.front()->ready) {
        joining = true;
        std::unique_ptr<Segment> segment = std::move(queue.front());
        queue.pop_front();
        lock.unlock();
        changed.notify_all();  // room to read more
        std::optional<PayloadOutcome> end = Join(std::move(segment));
        lock.lock();
        joining = false;
        if (end) outcome = std::move(end);
        changed.notify_all();
        continue;
      }
      if (!reading && !stopping && MoreToRead() && queue.size() + 2 <= inFlight) {
        ReadAndGuess(lock);
        continue;
      }
      if (!joining && !reading && queue.empty() && !MoreToRead()) {
        outcome = Invalid(kEndsBeforeEnd);
        changed.notify_all();
        return;
      }
      changed.wait(lock);
    }
  }

  // Joins the next segment in order; returns how the pass ends, if it ends
  // with this segment.
  std::optional<PayloadOutcome> Join(std::unique_ptr<Segment> segment) {
    const std::uint64_t segmentBits = std::uint64_t{segment->size} * 8;
    if (start >= segmentBits) {  // the last symbol before it ran past it
      start -= segmentBits;
      Recycle(std::move(segment));
      return std::nullopt;
    }
    MemoryBits bits(segment->bytes.Bytes(), segment->size + segment->lookahead);
    bits.Start(start);
    std::uint8_t* out = decoded.Bytes();
    // Up to the checkpoint where the true boundaries meet the guess's, if
    // they do; from there on the guessed symbols are the true ones.
    std::size_t synced = 0;
    RunOutcome run{RunEnd::kBoundary};
    if (segment->usable) {
      for (std::size_t k = segment->firstValid; k < segment->checkpoints.size(); ++k) {
        run = DecodeRun(bits, tables, (k + 1) * checkpointBits, out);
        if (run.end != RunEnd::kBoundary) break;
        if (bits.Position() == segment->checkpoints[k].bit) {
          synced = k + 1;
          break;
        }
      }
    }
    if (synced == 0 && run.end == RunEnd::kBoundary) {
      run = DecodeRun(bits, tables, segmentBits, out);
    }
    if (!Write(decoded.Bytes(), static_cast<std::size_t>(out - decoded.Bytes()))) {
      return WriteFailed();
    }
    if (synced != 0) {
      const std::size_t from = segment->checkpoints[synced - 1].decoded;
      if (!Write(segment->output.Bytes() + from, segment->outputSize - from)) {
        return WriteFailed();
      }
      start = segment->endBit - segmentBits;
      Recycle(std::move(segment));
      return std::nullopt;
    }
    switch (run.end) {
      case RunEnd::kBoundary:
        start = bits.Position() - segmentBits;
        break;
      case RunEnd::kOutOfBits:
        return Invalid(run.insideCode ? kEndsInsideCode : kEndsBeforeEnd);
      case RunEnd::kEndSymbol:
        return Finish(*segment, bits);
    }
    Recycle(std::move(segment));
    return std::nullopt;
  }

  // After the end symbol: the bits left in its byte must be zero, and no
  // byte may follow that one.
  PayloadOutcome Finish(const Segment& segment, MemoryBits& bits) {
    const std::uint64_t end = bits.Position();
    const int fill = static_cast<int>((8 - end % 8) % 8);
    if (fill != 0 && bits.Peek(fill) != 0) {
      return Invalid("the fill bits after the end symbol are not zero");
    }
    // The end symbol's last byte is the last byte of the buffer, and the
    // buffer was not filled up, or nothing was read beyond it.
    const std::uint64_t inBuffer = segment.size + segment.lookahead;
    const bool filledUp = inBuffer == segmentBytes + kLookaheadBytes;
    if ((end + 7) / 8 < inBuffer || (filledUp && !NothingBeyond(segment.lookahead))) {
      return Invalid("data follows the end symbol");
    }
    PayloadOutcome complete;
    complete.outputBytes = written;
    return complete;
  }

  // Whether the data ends `lookahead` bytes after the segment just decoded:
  // the next segment read holds no more than those, and nothing is left to
  // read. Stops the other threads' reading first.
  bool NothingBeyond(std::size_t lookahead) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return !reading; });
      stopping = true;
      if (!queue.empty()) {
        const Segment& next = *queue.front();
        if (next.size + next.lookahead > lookahead || queue.size() > 1) return false;
      }
    }
    if (dataEnded) return true;
    std::uint8_t probe = 0;
    return read(&probe, 1) == 0;
  }

  // The reading below is done by one thread at a time: the one thread, or
  // the one that holds `reading`.
  bool MoreToRead() const { return !dataEnded || carried != 0; }

  // Reads the next segment: the bytes that the last one carried behind it,
  // then new ones. False when the data has no more.
  bool ReadSegment(Segment& segment) {
    if (!MoreToRead()) return false;
    std::memcpy(segment.bytes.Bytes(), carry, carried);
    std::size_t got = carried;
    if (!dataEnded) {
      const std::size_t wanted = segmentBytes + kLookaheadBytes - carried;
      const std::size_t fresh = read(segment.bytes.Bytes() + carried, wanted);
      if (fresh < wanted) dataEnded = true;
      got += fresh;
    }
    if (got == 0) return false;
    segment.size = std::min(got, segmentBytes);
    segment.lookahead = got - segment.size;
    carried = segment.lookahead;
    std::memcpy(carry, segment.bytes.Bytes() + segment.size, carried);
    segment.usable = false;
    segment.ready = false;
    return true;
  }

  // Reads the next two segments and guesses at them, two in step: two take
  // little longer than one. The last segment holds the end symbol; it is
  // not worth guessing at.
  // REQUIRES: `lock` holds `mutex`; holds it again on return.
  void ReadAndGuess(std::unique_lock<std::mutex>& lock) {
    reading = true;
    std::unique_ptr<Segment> taken[2] = {Take(), nullptr};
    lock.unlock();
    Segment* guesses[2] = {nullptr, nullptr};
    int count = 0;
    int got = 0;
    for (; got < 2; ++got) {
      if (got == 1) {
        if (taken[0]->lookahead == 0) break;  // the first was the last
        lock.lock();
        taken[1] = Take();
        lock.unlock();
      }
      if (!ReadSegment(*taken[got])) break;
      if (taken[got]->lookahead == 0) {
        taken[got]->ready = true;
      } else {
        guesses[count++] = taken[got].get();
      }
    }
    lock.lock();
    for (int k = 0; k < 2; ++k) {
      if (k < got) {
        queue.push_back(std::move(taken[k]));
      } else if (taken[k]) {
        spare.push_back(std::move(taken[k]));
      }
    }
    reading = false;
    lock.unlock();
    changed.notify_all();
    const auto finished = [this](Segment& segment) {
      {
        const std::lock_guard<std::mutex> guard(mutex);
        segment.ready = true;
      }
      changed.notify_all();
    };
    if (count == 2) {
      GuessTwo(*guesses[0], *guesses[1], checkpointBits, tables, finished);
    } else if (count == 1) {
      GuessAlone(*guesses[0], checkpointBits, tables);
      finished(*guesses[0]);
    }
    lock.lock();
  }

  // REQUIRES: `mutex` held, or one thread.
  std::unique_ptr<Segment> Take() {
    if (spare.empty()) return std::make_unique<Segment>(segmentBytes);
    std::unique_ptr<Segment> segment = std::move(spare.back());
    spare.pop_back();
    return segment;
  }

  void Recycle(std::unique_ptr<Segment> segment) {
    const std::lock_guard<std::mutex> lock(mutex);
    spare.push_back(std::move(segment));
  }

  bool Write(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return true;
    written += static_cast<std::int64_t>(size);
    return sink.Write(data, size);
  }

  PayloadOutcome Invalid(const char* reason) const {
    PayloadOutcome outcome;
    outcome.status = PayloadOutcome::Status::kInvalid;
    outcome.reason = reason;
    outcome.outputBytes = written;
    return outcome;
  }

  PayloadOutcome WriteFailed() const {
    PayloadOutcome outcome;
    outcome.status = PayloadOutcome::Status::kWriteFailed;
    outcome.outputBytes = written;
    return outcome;
  }

  const PayloadReader& read;
  const DecodingTables& tables;
  ByteSink& sink;
  const int threads;
  const std::size_t segmentBytes;
  const std::uint64_t checkpointBits;

  // The joining thread's own.
  PageBuffer decoded;        // what it decodes itself
  std::uint64_t start = 0;   // where the next true symbol begins, in its segment
  std::int64_t written = 0;

  // The reader's own: the bytes the last segment carried behind it.
  std::uint8_t carry[kLookaheadBytes] = {};
  std::size_t carried = 0;
  bool dataEnded = false;

  // With several threads, shared under `mutex`.
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::unique_ptr<Segment>> queue;  // read, in order, not yet joined
  std::vector<std::unique_ptr<Segment>> spare;
  bool reading = false;   // a thread is reading
  bool joining = false;   // a thread is joining
  bool stopping = false;  // nothing more is read
  std::optional<PayloadOutcome> outcome;  // the pass has ended
};

}  // namespace

PayloadOutcome DecodePayload(const PayloadReader& read, const DecodingTables& tables,
                             ByteSink& sink, int threads, std::size_t segmentBytes) {
  if (segmentBytes == 0) segmentBytes = kDefaultSegmentBytes;
  PayloadPass pass(read, tables, sink, threads, segmentBytes);
  return pass.Run();
}

}  // namespace tarvel
