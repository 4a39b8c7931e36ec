// tarvel: a file compressor with a static Huffman code built for each input.
//
// The compressed form is a byte-aligned header of code lengths followed by
// the code of every byte and of an end symbol; it carries no signature and
// no checksum. Every function here returns what happened: none prints,
// exits, touches signals or keeps state between calls, and all may be
// called from several threads at once.
#pragma once

#if !defined(__cplusplus) || __cplusplus < 202002L
#error "tarvel/tarvel.h needs C++20 (-std=c++20); C programs include <tarvel.h>"
#endif

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The version as numbers (TARVEL_VERSION_MAJOR, _MINOR, _PATCH), and the C
// interface beside this one.
#include "../tarvel.h"

// What the library exports; everything else in it is hidden.
#define TARVEL_API TARVEL_C_API

namespace tarvel {

// The library's version, "MAJOR.MINOR.PATCH".
TARVEL_API const char* Version();

// What a call did.
struct Result {
  enum class Code {
    kOk,
    kOpenInput,      // the input cannot be opened, or is a directory
    kOpenOutput,     // the output cannot be written (a missing folder, a
                     // directory, a file without write permission)
    kSameFile,       // the input and the output are one file
    kReadInput,      // a read failed before the end of the input
    kInputChanged,   // the input changed between the two passes
    kTemporaryCopy,  // no temporary copy of a read-once input could be kept
    kWriteOutput,    // a write, flush or close of the output failed
    kReplaceOutput,  // the finished output could not be renamed into place
    kInvalidData,    // the compressed data do not follow the layout
    kOutOfMemory,    // memory ran out; every thread of the call has stopped
    kCancelled,      // a progress callback asked to stop
    kOutputExists,   // asked not to replace, the output is an existing file
  };
  Code code = Code::kOk;
  // For kInvalidData: the first fault found, a phrase without a final full
  // stop ("the header is truncated").
  std::string reason;
  // For kWriteOutput: the errno of the failed write; EPIPE when the reader of
  // a pipe went away. For kOpenOutput, and for kWriteOutput before anything
  // was written (no room for a temporary file): the errno of the failed open.
  int systemError = 0;
  std::uint64_t inputBytes = 0;   // bytes read (compressed ones for decompression)
  std::uint64_t outputBytes = 0;  // bytes written
  // For the files: milliseconds from the opened files to the last byte
  // written, before the output is put in place.
  std::int64_t milliseconds = 0;
  // For the files: whether the output is where standard output leads.
  bool outputIsStandardOutput = false;

  explicit operator bool() const { return code == Code::kOk; }
};

// Writes into `compressed` (replacing what it held) exactly the bytes that
// the tarvel program writes for a file holding `data` (none for empty data).
// `threads` 0 chooses as the program does, and more than the CPU affinity
// allows are not started; the bytes are the same for any number. Bytes that
// another thread changes during the call give kInputChanged. On any failure
// `compressed` is empty.
TARVEL_API Result Compress(std::span<const std::uint8_t> data,
                           std::vector<std::uint8_t>& compressed, int threads = 0);

// The same, returned: the one call that throws. Memory running out throws
// std::bad_alloc, as the standard containers do; bytes changed during the
// call, std::runtime_error.
TARVEL_API std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data, int threads = 0);

// Restores `compressed` into `restored` (replacing what it held). On
// kInvalidData, `restored` holds what was decoded before the fault; on
// kOutOfMemory it is empty.
TARVEL_API Result Decompress(std::span<const std::uint8_t> compressed,
                             std::vector<std::uint8_t>& restored, int threads = 0);

// For callers that handle signals, such as the programs: told which file a
// signal must remove while the library writes an output at a temporary name.
// Enter() and Leave() surround every creation and removal of such a file,
// and the final copy over an existing output, so that a caller can hold its
// signals back in between.
class OutputWatcher {
 public:
  virtual ~OutputWatcher() = default;
  virtual void Enter() {}
  virtual void Leave() {}
  // The file to remove if the process ends now: `name` in the folder open as
  // the descriptor `folder` (through which a signal handler may remove it,
  // and find it even when the folder has been renamed; on Windows a
  // descriptor over the folder's handle), or a null `name` for none. Both
  // stay valid until the next call, which names no file after one that did.
  virtual void Pending(int folder, const char* name) = 0;
};

struct FileOptions {
  int threads = 0;  // 0: one below a megabyte, else up to four as the CPU affinity allows
  OutputWatcher* watcher = nullptr;
};

// Compresses the file `input` into the file `output` in two passes, as the
// tarvel program does. An input that can be read only once (a pipe, a
// device, a file of /proc or /sys) is copied aside to an unnamed file in
// $TMPDIR during the first pass.
//
// The output is complete or absent: a regular file is written at a
// temporary name beside it and renamed over it at the end; on failure an
// existing output is left as it was. A symbolic link is followed, /dev/stdout
// and /dev/fd/N write to that descriptor, and other outputs that are not
// regular files are written directly. A file with other hard links (or in a
// folder without write permission, or with a name too long for the suffix)
// is written whole elsewhere first (beside it, else in $TMPDIR) and only then
// copied over the file, under an exclusive lock that concurrent runs
// respect: a failure before the copy leaves it as it was, one during the
// copy (the disk filling then) can leave it partial. A new output gets the
// input's permission bits less the umask; an existing one keeps its own.
TARVEL_API Result CompressFile(const std::string& input, const std::string& output,
                               const FileOptions& options = {});

// Restores the file `input` into the file `output`, with the same output
// rules.
TARVEL_API Result DecompressFile(const std::string& input, const std::string& output,
                                 const FileOptions& options = {});

// What the two calls above do with an existing regular file at the output's
// name (also through a symbolic link).
enum class ExistingOutput {
  kReplace,  // it is replaced, as above
  // It stays, and the call gives kOutputExists: also when the file appears
  // while the call runs, since the output is put in place by a rename that
  // never replaces (or a copy into a file made exclusively). What untarvel
  // does without -f.
  kKeep,
};
TARVEL_API Result CompressFile(const std::string& input, const std::string& output,
                               const FileOptions& options, ExistingOutput existing);
TARVEL_API Result DecompressFile(const std::string& input, const std::string& output,
                                 const FileOptions& options, ExistingOutput existing);

// The same on two open descriptors, as filters use them: the input read
// from where it stands (a seekable regular file twice by position, anything
// else copied aside in $TMPDIR during the first pass), the output written
// from where it stands, neither closed. On failure part of the output may
// have been written. What tarvel_compress_fd() and tarvel_decompress_fd()
// do, for C++.
TARVEL_API Result CompressDescriptor(int input, int output, const FileOptions& options = {});
TARVEL_API Result DecompressDescriptor(int input, int output, const FileOptions& options = {});

// Whether writing `output` now would replace an existing regular file (also
// through a symbolic link). Names of descriptors (/dev/stdout), devices,
// FIFOs and names that lead nowhere yet replace nothing. The answer may be
// out of date by the time the output is written: ExistingOutput::kKeep is
// what keeps a file.
TARVEL_API bool OutputReplacesFile(const std::string& output);

}  // namespace tarvel
