// Where both programs write: never a partial or wrong file at the output's
// name.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

#include "tarvel/tarvel.h"

namespace tarvel {

// A regular-file output is written to a temporary file beside it (NAME.tv-
// and six characters), which is renamed over it only once everything has
// been written and closed without error; any failure removes the temporary
// file, and an existing output stays as it was. A watcher, when given, is
// told which file a signal must remove. The temporary file has the output's
// final permission bits (and, where the system allows, its owner) before any
// data goes in.
//
// Into a regular file that it opened itself (a temporary one, or one written
// in place), runs of zero bytes are not written but sought over, so that the
// whole file-system blocks among them stay holes, which read back as zeros:
// a sparse file stays sparse, and takes less time.
//
// A symbolic link is followed: the file it names is replaced, the link
// stays. A name that leads to an open descriptor of this process
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N) writes to that descriptor, and
// outputs that are not regular files (/dev/null, a FIFO, a terminal) are
// written directly. A regular file with other hard links, or one that cannot
// have a temporary file beside it (a folder without write permission, a name
// too long for the suffix), is written in place, and removed if the run
// fails.
class OutputFile {
 public:
  explicit OutputFile(OutputWatcher* watcher = nullptr) : watcher(watcher) {}
  ~OutputFile();  // Discard()s an output that was not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares to write `name`. A new file gets the permission bits `newMode`
  // less the umask; an existing one keeps its own. False when the output
  // cannot be written: a missing folder, a directory, an existing file that
  // cannot be opened for writing, a descriptor that is not open.
  bool Open(const std::string& name, mode_t newMode);

  // Writes `size` bytes at once, with no buffer between; false when they
  // could not all be written (and after any earlier failure).
  bool Write(const std::uint8_t* data, std::size_t size);

  // The output as a stream without a buffer of its own over Write(); a
  // failed write leaves it failed.
  std::ostream& Stream() { return stream; }

  // Whether standard output leads to the output, or to the file it is to
  // replace: the report must then go elsewhere.
  bool IsStandardOutput() const { return standardOutput; }

  // The errno of the first failed write or close, or 0.
  int WriteError() const { return writeError; }

  enum class CommitStatus {
    kDone,
    kWriteFailed,    // a write or the close failed
    kReplaceFailed,  // the temporary file could not be renamed over the output
  };
  // Closes the output and puts it in place. On failure whatever the run
  // wrote is removed, as by Discard().
  CommitStatus Commit();

  // Closes the output and removes what the run has written at a name: the
  // temporary file, or a regular file written in place. Outputs written
  // directly are left as they are.
  void Discard();

 private:
  enum class Kind {
    kDirect,     // a descriptor or a file that is not regular
    kTemporary,  // a temporary file to be renamed over `finalName`
    kInPlace,    // a regular file written at its own name
  };

  class Buffer : public std::streambuf {
   public:
    explicit Buffer(OutputFile& owner) : owner(owner) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;

   private:
    OutputFile& owner;
  };

  // Opens `target`, an existing regular file or a missing one, by way of a
  // temporary file, or else in place.
  bool OpenRegular(const std::string& target, const struct stat* existing, mode_t newMode);
  // Creates a new file at a free name `target`.tv-XXXXXX in `folderFd` with
  // `mode` less the umask; the descriptor, or -1 with errno set.
  int CreateTemporary(const std::string& target, mode_t mode, std::string& name);
  // Tells the watcher which file a signal must remove.
  void Pending(const char* name);
  // Lets runs of zero blocks become holes, for a regular file.
  void AllowHoles();
  // Seeks over the hole before, then writes `size` bytes.
  bool WriteAll(const std::uint8_t* data, std::size_t size);
  // REQUIRES: size >= 1.
  static bool IsZero(const std::uint8_t* data, std::size_t size);

  OutputWatcher* watcher;
  Buffer buffer{*this};
  std::ostream stream{&buffer};
  int fd = -1;
  // The temporary file's folder, held open so that the file is removed even
  // when the folder has been renamed during the run.
  int folderFd = -1;
  Kind kind = Kind::kDirect;
  std::string finalName;      // the file to replace, for kTemporary
  std::string writtenName;    // the file to remove on failure; empty for kDirect
  int writeError = 0;         // errno of the first failed write
  std::size_t holeBlock = 0;  // the file system's block, when holes are allowed
  std::uint64_t offset = 0;   // bytes written or left as holes so far
  std::uint64_t hole = 0;     // zero bytes not written yet, before `offset`
  bool standardOutput = false;
};

}  // namespace tarvel
