#include "decode/payload_decoder.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "decode/bit_reader.h"
#include "decode/segment_guess.h"
#include "decode/symbol_decoder.h"
#include "io/page_buffer.h"
#include "io/worker_threads.h"

namespace tarvel {

namespace {

constexpr std::size_t kDefaultSegmentBytes = std::size_t{1} << 16;
// The segments that one thread reads at once and guesses at in step.
constexpr int kGuessed = kMaxLanes;

// The payload pass. Each segment is joined in order: decoded exactly from
// the true boundary where the one before ended, up to where it meets what
// a guess found, and written out. Every thread does what is next: joins the
// first segment when it is ready, else reads kGuessed more and guesses at
// them in step. (One thread gains by it too: guesses in step decode faster
// than one true decode.)
class PayloadPass {
 public:
  PayloadPass(PayloadReader& read, const DecodingTables& tables, ByteSink& sink, int threads,
              std::size_t segmentBytes)
      : read(read),
        tables(tables),
        sink(sink),
        threads(std::max(threads, 1)),
        segmentBytes(segmentBytes),
        checkpointBits(CheckpointBits(segmentBytes)),
        decoded(Segment::OutputBytes(segmentBytes) + kPageBytes) {}

  PayloadOutcome Run() {
    RunOnThreads(
        threads, [this](int /*k*/) { Work(); }, [this]() noexcept { Abort(); });
    return *outcome;
  }

 private:
  void Work() {
    const std::size_t inFlight = kGuessed * static_cast<std::size_t>(threads);
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
      if (!reading && !stopping && MoreToRead() && queue.size() + kGuessed <= inFlight) {
        ReadAndGuess(lock);
        continue;
      }
      if (!joining && !reading && queue.empty() && !MoreToRead()) {
        outcome = Invalid(Fault::kEndsBeforeEndSymbol);
        changed.notify_all();
        return;
      }
      changed.wait(lock);
    }
  }

  // Ends the pass on every thread, after a failure on one of them, which may
  // have left `reading` or `joining` set: the others return as soon as they
  // look at the state again.
  void Abort() noexcept {
    const std::lock_guard<std::mutex> lock(mutex);
    aborted = true;
    if (!outcome) outcome = PayloadOutcome{};
    changed.notify_all();
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
    MemoryBits bits(segment->data, segment->size + segment->lookahead);
    bits.Start(start);
    std::uint8_t* const room = HalfAPageFrom(segment->data, decoded.Bytes());
    std::uint8_t* out = room;
    const std::uint8_t* const outEnd = room + Segment::OutputBytes(segmentBytes);
    // Decodes up to `stop`, writing out what it decoded whenever its room
    // fills up; false when a write failed.
    RunOutcome run{RunEnd::kBoundary};
    const auto runTo = [&](std::uint64_t stop) {
      for (;;) {
        run = DecodeRun(bits, tables, stop, out, outEnd);
        if (run.end != RunEnd::kOutputFull) return true;
        if (!Write(room, static_cast<std::size_t>(out - room))) return false;
        out = room;
      }
    };
    // Up to the checkpoint where the true boundaries meet the guess's, if
    // they do; from there on the guessed symbols are the true ones, up to
    // where the guess ended.
    std::size_t synced = 0;
    if (segment->usable) {
      for (std::size_t k = segment->firstValid; k < segment->checkpoints.size(); ++k) {
        if (!runTo(CheckpointStop(k, checkpointBits))) return WriteFailed();
        if (run.end != RunEnd::kBoundary) break;
        if (bits.Position() == segment->checkpoints[k].bit) {
          synced = k + 1;
          break;
        }
      }
    }
    if (synced != 0) {
      const std::size_t from = segment->checkpoints[synced - 1].decoded;
      if (!Write(room, static_cast<std::size_t>(out - room)) ||
          !Write(segment->guessed + from, segment->outputSize - from)) {
        return WriteFailed();
      }
      out = room;
      bits.Start(segment->endBit);
    }
    // The rest, when the guess did not reach the end of the segment.
    if (run.end == RunEnd::kBoundary && bits.Position() < segmentBits && !runTo(segmentBits)) {
      return WriteFailed();
    }
    if (!Write(room, static_cast<std::size_t>(out - room))) {
      return WriteFailed();
    }
    switch (run.end) {
      case RunEnd::kBoundary:
      case RunEnd::kOutputFull:  // not left by runTo
        start = bits.Position() - segmentBits;
        break;
      case RunEnd::kOutOfBits:
        return Invalid(run.insideCode ? Fault::kEndsInsideCode : Fault::kEndsBeforeEndSymbol);
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
      return Invalid(Fault::kFillNotZero);
    }
    // The end symbol's last byte is the last byte of the buffer, and the
    // buffer was not filled up, or nothing was read beyond it.
    const std::uint64_t inBuffer = segment.size + segment.lookahead;
    if ((end + 7) / 8 < inBuffer || (segment.filledUp && !NothingBeyond(segment.lookahead))) {
      return Invalid(Fault::kDataAfterEnd);
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
      changed.wait(lock, [&] { return !reading || aborted; });
      if (aborted) return false;  // the pass has failed anyway
      stopping = true;
      if (!queue.empty()) {
        const Segment& next = *queue.front();
        if (next.size + next.lookahead > lookahead || queue.size() > 1) return false;
      }
    }
    if (dataEnded) return true;
    std::uint8_t probe = 0;
    return read.Read(&probe, 1) == 0;
  }

  // The reading below is done by one thread at a time: the one thread, or
  // the one that holds `reading`.
  bool MoreToRead() const { return !dataEnded || carried != 0; }

  // Reads the next segment, of `span` bytes or fewer: the bytes that the
  // last one carried behind it, then new ones. False when the data has no
  // more.
  bool ReadSegment(Segment& segment, std::size_t span) {
    if (!MoreToRead()) return false;
    // Data in memory are not copied: the bytes carried lie just before the
    // new ones there.
    const std::uint8_t* data = carriedAt;
    std::size_t got = carried;
    segment.filledUp = false;
    if (!dataEnded) {
      const std::size_t wanted = span + kLookaheadBytes - carried;
      std::size_t fresh = 0;
      if (const std::uint8_t* at = read.ReadInPlace(wanted, fresh); at != nullptr) {
        data = at - carried;
      } else {
        fresh = read.Read(segment.bytes.Bytes() + carried, wanted);
        data = nullptr;
      }
      if (fresh < wanted) dataEnded = true;
      segment.filledUp = fresh == wanted;
      got += fresh;
    }
    if (data == nullptr) {
      std::memcpy(segment.bytes.Bytes(), carry, carried);
      data = segment.bytes.Bytes();
    }
    if (got == 0) return false;
    segment.data = data;
    segment.size = std::min(got, span);
    segment.lookahead = got - segment.size;
    carried = segment.lookahead;
    if (data == segment.bytes.Bytes()) {
      std::memcpy(carry, data + segment.size, carried);
      carriedAt = nullptr;
    } else {
      carriedAt = data + segment.size;
    }
    segment.usable = false;
    segment.ready = false;
    return true;
  }

  // Reads the next kGuessed segments and guesses at them, in step: several
  // take little longer than one. The last segment holds the end symbol; it
  // is not worth guessing at.
  // REQUIRES: `lock` holds `mutex`; holds it again on return.
  void ReadAndGuess(std::unique_lock<std::mutex>& lock) {
    reading = true;
    const std::size_t readSpan = span;
    std::unique_ptr<Segment> taken[kGuessed];
    Segment* guesses[kGuessed];
    int count = 0;
    int got = 0;
    while (got < kGuessed) {
      // A segment is taken only when the one before was not the last, so
      // that a small input costs one.
      std::unique_ptr<Segment>& segment = taken[got];
      segment = Take();
      lock.unlock();
      const bool read = ReadSegment(*segment, readSpan);
      lock.lock();
      if (!read) {
        spare.push_back(std::move(segment));
        break;
      }
      ++got;
      if (segment->lookahead == 0) {  // the last
        segment->ready = true;
        break;
      }
      guesses[count++] = segment.get();
    }
    for (int k = 0; k < got; ++k) queue.push_back(std::move(taken[k]));
    reading = false;
    lock.unlock();
    changed.notify_all();
    GuessInStep(guesses, count, checkpointBits, tables, [this](Segment& segment) {
      {
        const std::lock_guard<std::mutex> guard(mutex);
        segment.ready = true;
        AdjustSpan(segment);
      }
      changed.notify_all();
    });
    lock.lock();
  }

  // Segments of data that restores to more than four times its size fill
  // their guesses' room before their end, and the join decodes the rest
  // alone: the next segments are read shorter, down to an eighth, and
  // longer again while their guesses fill less than half of it.
  // REQUIRES: `mutex` held.
  void AdjustSpan(const Segment& guessed) {
    const std::size_t room = Segment::OutputBytes(segmentBytes);
    if (guessed.usable && guessed.endBit < std::uint64_t{guessed.size} * 8) {
      span = std::max(span / 2, std::max<std::size_t>(segmentBytes / 8, 1));
    } else if (guessed.outputSize < room / 2 && guessed.size == span) {
      span = std::min(span * 2, segmentBytes);
    }
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

  PayloadOutcome Invalid(Fault fault) const {
    PayloadOutcome outcome;
    outcome.status = PayloadOutcome::Status::kInvalid;
    outcome.fault = fault;
    outcome.outputBytes = written;
    return outcome;
  }

  PayloadOutcome WriteFailed() const {
    PayloadOutcome outcome;
    outcome.status = PayloadOutcome::Status::kWriteFailed;
    outcome.outputBytes = written;
    return outcome;
  }

  PayloadReader& read;
  const DecodingTables& tables;
  ByteSink& sink;
  const int threads;
  const std::size_t segmentBytes;
  const std::uint64_t checkpointBits;

  // The joining thread's own.
  PageBuffer decoded;       // what it decodes itself
  std::uint64_t start = 0;  // where the next true symbol begins, in its segment
  std::int64_t written = 0;

  // The reader's own: the bytes the last segment carried behind it, copied
  // here or where they lie in memory (`carriedAt`).
  std::uint8_t carry[kLookaheadBytes] = {};
  std::size_t carried = 0;
  const std::uint8_t* carriedAt = nullptr;
  bool dataEnded = false;

  // With several threads, shared under `mutex`.
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::unique_ptr<Segment>> queue;  // read, in order, not yet joined
  std::vector<std::unique_ptr<Segment>> spare;
  std::size_t span = segmentBytes;        // bytes to read for the next segment
  bool reading = false;                   // a thread is reading
  bool joining = false;                   // a thread is joining
  bool stopping = false;                  // nothing more is read
  bool aborted = false;                   // a thread failed
  std::optional<PayloadOutcome> outcome;  // the pass has ended
};

}  // namespace

PayloadOutcome DecodePayload(PayloadReader& read, const DecodingTables& tables, ByteSink& sink,
                             int threads, std::size_t segmentBytes) {
  if (segmentBytes == 0) segmentBytes = kDefaultSegmentBytes;
  PayloadPass pass(read, tables, sink, threads, segmentBytes);
  return pass.Run();
}

}  // namespace tarvel
