// What the programs do to files, without a word on any stream.
#include <cerrno>
#include <fstream>
#include <limits>
#include <numeric>

#include "api/compress.h"
#include "api/guarded.h"
#include "decode/file_decoder.h"
#include "encode/bit_writer.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "io/platform.h"
#include "io/spool_file.h"
#include "model/symbol_count.h"
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

// The files of a run: the input opened and checked, the output prepared.
// `result` holds the failure when Open() returns false.
struct Run {
  explicit Run(const FileOptions& options) : output(options.watcher) {}

  bool Open(const std::string& inputName, const std::string& outputName) {
    const OpenedInput opened = OpenInput(inputName, outputName, input);
    if (opened.status != OpenedInput::Status::kOpen) {
      return Fail(opened.status == OpenedInput::Status::kSameFile ? Code::kSameFile
                                                                  : Code::kOpenInput);
    }
    status = opened.file;
    const int error = output.Open(outputName, status.IsRegular() ? (status.mode & 0777) : 0666);
    if (error != 0) {
      // No room for the temporary file is a full disk; the rest, an output
      // that cannot be opened.
      Fail(error == ENOSPC || error == EDQUOT ? Code::kWriteOutput : Code::kOpenOutput);
      result.systemError = error;
      return false;
    }
    result.outputIsStandardOutput = output.IsStandardOutput();
    startTime = ClockMilliseconds();
    return true;
  }

  // Ends the run with `code`; an output that is not complete is discarded.
  bool Fail(Code code) {
    output.Discard();
    result.code = code;
    if (code == Code::kWriteOutput) result.systemError = output.WriteError();
    return false;
  }

  // Puts the output in place, once `outputBytes` of it are written.
  void Commit(std::int64_t outputBytes) {
    result.outputBytes = static_cast<std::uint64_t>(outputBytes);
    result.milliseconds = ClockMilliseconds() - startTime;
    switch (output.Commit()) {
      case OutputFile::CommitStatus::kWriteFailed:
        Fail(Code::kWriteOutput);
        break;
      case OutputFile::CommitStatus::kReplaceFailed:
        Fail(Code::kReplaceOutput);
        break;
      case OutputFile::CommitStatus::kDone:
        break;
    }
  }

  std::ifstream input;
  FileStatus status;
  OutputFile output;
  std::int64_t startTime = 0;
  Result result;
};

Result CompressOneFile(const std::string& inputName, const std::string& outputName,
                       const FileOptions& options) {
  Run run(options);
  if (!run.Open(inputName, outputName)) return run.result;
  std::ifstream& input = run.input;
  const FileStatus& status = run.status;
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
      (status.IsRegular() && status.size > 0 && !IsOnPseudoFileSystem(inputName.c_str())) ||
      status.IsBlockDevice();
  std::fstream spool;
  if (!readTwice && input.peek() != std::ifstream::traits_type::eof() && !OpenSpoolFile(spool)) {
    return fail(Code::kTemporaryCopy);
  }
  std::fstream* copy = spool.is_open() ? &spool : nullptr;
  // The size of a spooled input is known only once it has been read: its
  // count runs on one thread. A regular file is read by position, by all
  // threads at once.
  const PositionalInput positional(inputName, status);
  FrequencyTable counts =
      CountSymbols(input, copy, readTwice ? ThreadsFor(options.threads, status.size) : 1,
                   readTwice ? positional.File() : nullptr);
  if (input.bad()) return fail(Code::kReadInput);
  if (copy != nullptr && !copy->flush()) return fail(Code::kTemporaryCopy);

  const std::int64_t counted = std::accumulate(counts.begin(), counts.end(), std::int64_t{0});
  const std::int64_t inputSize = readTwice ? MeasureSize(input) : counted;
  if (inputSize != counted) return fail(Code::kInputChanged);
  run.result.inputBytes = static_cast<std::uint64_t>(inputSize);

  if (inputSize > 0) {
    std::istream& secondPass = readTwice ? static_cast<std::istream&>(input) : spool;
    switch (CompressInput(secondPass, PlanCodes(counts), writer,
                          ThreadsFor(options.threads, inputSize),
                          readTwice ? positional.File() : nullptr)) {
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
    const std::optional<FileStatus> now = positional.File() != nullptr
                                              ? StatusOfDescriptor(positional.File()->fd)
                                              : StatusOf(inputName.c_str());
    if (!now || !now->UnchangedSince(status)) return fail(Code::kInputChanged);
  }
  counts = FrequencyTable();
  if (!writer.Close()) return fail(Code::kWriteOutput);
  run.Commit(writer.WritePosition());
  return run.result;
}

Result DecompressOneFile(const std::string& inputName, const std::string& outputName,
                         const FileOptions& options) {
  Run run(options);
  if (!run.Open(inputName, outputName)) return run.result;

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
  StreamSource source(run.input);
  OutputSink sink(run.output);
  // The size of a pipe is not known ahead: it gets the threads of a large
  // file.
  const std::int64_t inputSize =
      run.status.IsRegular() ? run.status.size : std::numeric_limits<std::int64_t>::max();
  const DecodeResult decoded = Decode(source, sink, ThreadsFor(options.threads, inputSize));
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

Result CompressFile(const std::string& inputName, const std::string& outputName,
                    const FileOptions& options) {
  return Guarded([&] { return CompressOneFile(inputName, outputName, options); });
}

Result DecompressFile(const std::string& inputName, const std::string& outputName,
                      const FileOptions& options) {
  return Guarded([&] { return DecompressOneFile(inputName, outputName, options); });
}

}  // namespace tarvel
