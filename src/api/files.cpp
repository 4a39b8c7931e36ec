// What the programs do to files, without a word on any stream.
#include "api/files.h"

#include <fstream>
#include <limits>
#include <numeric>

#include "api/compress.h"
#include "api/guarded.h"
#include "decode/file_decoder.h"
#include "encode/bit_writer.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "io/output_path.h"
#include "io/spool_file.h"
#include "model/symbol_count.h"
#include "platform/platform.h"
#include "tarvel/tarvel.h"

namespace tarvel {

namespace {

using Code = Result::Code;

// The size of `input` in bytes, taken by seeking to its end; -1 when the
// stream cannot seek.
std::int64_t MeasureSize(std::istream& input) {
  input.clear();
  if (!input.fail()) input.seekg(0, std::ios::end);
  return static_cast<std::int64_t>(input.tellg());
}

// Compresses the input of `run`, once it is open.
Result CompressOpened(FileRun& run) {
  std::istream& input = *run.input;
  const FileStatus& status = run.status;
  const int threads = run.job.threads;
  BitWriter writer(run.output.Stream());
  const auto fail = [&](Code code) {
    writer.Abandon();
    run.Fail(code);
    return run.result;
  };

  // Pipes, FIFOs and character devices can be read only once, and files
  // that claim a size of 0 (or, on proc and sysfs, any size) may not give
  // the same bytes twice: the count pass keeps a copy of what it reads, and
  // the second pass reads the copy. An input whose first read gives no byte
  // is empty and needs none.
  const bool readTwice =
      (status.IsRegular() && status.size > 0 && !run.InputOnPseudoFileSystem()) ||
      status.IsBlockDevice();
  Progress& progress = run.progress.emplace(run.job.progress, run.job.user,
                                            readTwice ? status.size : 0, /*passes=*/2);
  SpoolFile spool;
  const bool spooled = !readTwice && input.peek() != std::ifstream::traits_type::eof();
  if (spooled && !spool.Open()) return fail(Code::kTemporaryCopy);
  std::ostream* copy = spooled ? &spool.Copy() : nullptr;
  // The size of a spooled input is known only once it has been read: its
  // count runs on one thread. A regular file is read by position, by all
  // threads at once.
  const PositionalFile* positional = readTwice ? run.Positional() : nullptr;
  FrequencyTable counts = CountSymbols(
      input, copy, readTwice ? ThreadsFor(threads, status.size) : 1, positional, &progress);
  if (input.bad()) return fail(Code::kReadInput);
  if (copy != nullptr && !copy->flush()) return fail(Code::kTemporaryCopy);

  const std::int64_t counted = std::accumulate(counts.begin(), counts.end(), std::int64_t{0});
  const std::int64_t inputSize = readTwice ? MeasureSize(input) : counted;
  if (inputSize != counted) return fail(Code::kInputChanged);
  run.result.inputBytes = static_cast<std::uint64_t>(inputSize);

  if (inputSize > 0) {
    std::istream& secondPass = readTwice ? static_cast<std::istream&>(input) : spool.File();
    switch (CompressInput(secondPass, PlanCodes(counts), writer, ThreadsFor(threads, inputSize),
                          positional, &progress)) {
      case CompressStatus::kReadFailed:
        return fail(Code::kReadInput);
      case CompressStatus::kInputChanged:
        return fail(Code::kInputChanged);
      case CompressStatus::kWriteFailed:
        return fail(Code::kWriteOutput);
      case CompressStatus::kComplete:
        break;
    }
  }
  // Bytes written over in place keep every size and count: the times of the
  // last changes tell.
  if (status.IsRegular() && readTwice) {
    const std::optional<FileStatus> now = run.StatusNow();
    if (!now || !now->UnchangedSince(run.before)) return fail(Code::kInputChanged);
  }
  counts = FrequencyTable();
  if (!writer.Close()) return fail(Code::kWriteOutput);
  run.Commit(writer.WritePosition());
  return run.result;
}

// Restores the input of `run`, once it is open.
Result DecompressOpened(FileRun& run) {
  // The decoder's sink over the output.
  class OutputSink : public ByteSink {
   public:
    explicit OutputSink(OutputFile& output) : output(output) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
      return output.Write(data, size);
    }

   private:
    OutputFile& output;
  };
  // The compressed bytes, counted for the progress callback, which may stop
  // the reads as if they failed.
  class CountedSource : public StreamSource {
   public:
    CountedSource(std::istream& input, Progress& progress)
        : StreamSource(input), progress(progress) {}
    std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t size) override {
      const std::ptrdiff_t got = StreamSource::Read(buffer, size);
      if (got > 0 && !progress.Add(static_cast<std::uint64_t>(got))) return -1;
      return got;
    }

   private:
    Progress& progress;
  };
  Progress& progress = run.progress.emplace(
      run.job.progress, run.job.user, run.status.IsRegular() ? run.status.size : 0, /*passes=*/1);
  CountedSource source(*run.input, progress);
  OutputSink sink(run.output);
  // The size of a pipe is not known ahead: it gets the threads of a large
  // file.
  const std::int64_t inputSize =
      run.status.IsRegular() ? run.status.size : std::numeric_limits<std::int64_t>::max();
  const DecodeResult decoded = Decode(source, sink, ThreadsFor(run.job.threads, inputSize));
  run.result.inputBytes = static_cast<std::uint64_t>(decoded.inputBytes);
  switch (decoded.status) {
    case DecodeResult::Status::kOk:
      break;
    case DecodeResult::Status::kInvalid:
      run.result.reason = decoded.reason;
      run.Fail(Code::kInvalidData);
      return run.result;
    case DecodeResult::Status::kReadFailed:
      run.Fail(Code::kReadInput);
      return run.result;
    case DecodeResult::Status::kWriteFailed:
      run.Fail(Code::kWriteOutput);
      return run.result;
  }
  run.Commit(decoded.outputBytes);
  return run.result;
}

}  // namespace

Result CompressNamedFile(const std::string& input, const std::string& output, const FileJob& job) {
  return Guarded([&] {
    FileRun run(job);
    return run.OpenNames(input, output) ? CompressOpened(run) : run.result;
  });
}

Result DecompressNamedFile(const std::string& input, const std::string& output,
                           const FileJob& job) {
  return Guarded([&] {
    FileRun run(job);
    return run.OpenNames(input, output) ? DecompressOpened(run) : run.result;
  });
}

Result CompressDescriptor(int input, int output, const FileJob& job) {
  return Guarded([&] {
    FileRun run(job);
    return run.OpenDescriptors(input, output) ? CompressOpened(run) : run.result;
  });
}

Result DecompressDescriptor(int input, int output, const FileJob& job) {
  return Guarded([&] {
    FileRun run(job);
    return run.OpenDescriptors(input, output) ? DecompressOpened(run) : run.result;
  });
}

namespace {

FileJob JobOf(const FileOptions& options, ExistingOutput existing = ExistingOutput::kReplace) {
  FileJob job{options.threads, options.watcher};
  job.replace = existing == ExistingOutput::kReplace;
  return job;
}

}  // namespace

Result CompressFile(const std::string& input, const std::string& output,
                    const FileOptions& options) {
  return CompressNamedFile(input, output, JobOf(options));
}

Result DecompressFile(const std::string& input, const std::string& output,
                      const FileOptions& options) {
  return DecompressNamedFile(input, output, JobOf(options));
}

Result CompressFile(const std::string& input, const std::string& output, const FileOptions& options,
                    ExistingOutput existing) {
  return CompressNamedFile(input, output, JobOf(options, existing));
}

Result DecompressFile(const std::string& input, const std::string& output,
                      const FileOptions& options, ExistingOutput existing) {
  return DecompressNamedFile(input, output, JobOf(options, existing));
}

Result CompressDescriptor(int input, int output, const FileOptions& options) {
  return CompressDescriptor(input, output, JobOf(options));
}

Result DecompressDescriptor(int input, int output, const FileOptions& options) {
  return DecompressDescriptor(input, output, JobOf(options));
}

bool OutputReplacesFile(const std::string& output) {
  try {
    return ResolveOutput(output).kind == OutputTarget::Kind::kRegular;
  } catch (...) {
    return true;  // memory ran out: the cautious answer
  }
}

}  // namespace tarvel
