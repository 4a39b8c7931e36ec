// Where both programs write: never a partial or wrong file at the output's
// name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

#include "platform/platform.h"
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
// An existing regular file that must keep its own inode (one with other hard
// links, whose names must all see the new data) or that cannot have a
// temporary file beside it by design (a folder without write permission, a
// name too long for the suffix) is written whole elsewhere first: into a
// temporary file beside it where one can be made, else an unnamed one in
// $TMPDIR. Only once that is complete is it copied over the file, under an
// exclusive lock on it that concurrent runs take too, and the file cut to
// the new size. A failure before the copy leaves the file as it was; one
// during the copy (the disk filling then, the process killed) can leave it
// partial. A missing output with a name too long for the suffix is made only
// then. Any other failure to make the temporary file (a full disk, no
// descriptors left) refuses the output.
//
// Into a regular file that it opened itself, runs of zero bytes are not
// written but sought over, so that the whole file-system blocks among them
// stay holes, which read back as zeros: a sparse file stays sparse, and takes
// less time. (A copy over an existing file writes every byte within the old
// size.)
//
// A symbolic link is followed: the file it names is replaced, the link
// stays. A name that leads to an open descriptor of this process
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N) writes to that descriptor, which
// must be open for writing, and outputs that are not regular files
// (/dev/null, a FIFO, a terminal) are written directly.
class OutputFile {
 public:
  explicit OutputFile(OutputWatcher* watcher = nullptr) : watcher(watcher) {}
  ~OutputFile();  // Discard()s an output that was not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares to write `name`. A new file gets the permission bits `newMode`
  // less the umask; an existing one keeps its own. Without `replace`, no
  // existing regular file is replaced: not one there now (EEXIST), nor one
  // that appears before Commit() (kExists). Returns 0, or the errno of why
  // the output cannot be written: ENOSPC or EDQUOT when there is no room for
  // the temporary file; another one for a missing folder, a directory, an
  // existing file that cannot be opened for writing, a descriptor that is
  // not open for writing, no descriptors left.
  int Open(const std::string& name, std::uint32_t newMode, bool replace = true);

  // Prepares to write the open descriptor `fd` from where it stands, as an
  // output written directly; `fd` itself is never closed. Returns 0, or
  // EBADF when it is not open for writing.
  int OpenDescriptor(int fd);

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
    kWriteFailed,    // a write, the copy or the close failed
    kReplaceFailed,  // the temporary file could not be renamed over the output
    kExists,         // without `replace`, a file appeared at the output's name
  };
  // Closes the output and puts it in place. On failure whatever the run
  // wrote is removed, as by Discard().
  CommitStatus Commit();

  // Closes the output and removes what the run has written: the temporary
  // file, or a file made by the final copy. Outputs written directly are
  // left as they are.
  void Discard();

 private:
  enum class Kind {
    kDirect,     // a descriptor or a file that is not regular
    kTemporary,  // a temporary file to be renamed over `target`
    kCopyOver,   // a temporary file to be copied over `target`
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

  // Opens `path`, an existing regular file or a missing one, by way of a
  // temporary file; returns as Open().
  int OpenRegular(const std::string& path, const FileStatus* existing, std::uint32_t newMode);
  // Creates a new file at a free name `target`.tv-XXXXXX in `folderFd` with
  // `mode` less the umask, and tells the watcher; the descriptor, or -1 with
  // errno set.
  int CreateTemporary(std::uint32_t mode);
  // Copies the complete temporary file over `target`; false with
  // `writeError` set when that fails.
  bool CopyOver();
  // Opens `target` for the copy, made now when it is missing; -1 with errno.
  int OpenTarget();
  // Once `fd` is open: whether its writes must keep SIGPIPE away, and
  // whether standard output leads to it, or to `existing`, the file it is to
  // replace.
  void NoteOpened(const FileStatus* existing);
  // Tells the watcher which file a signal must remove.
  void Pending(const char* name);
  // Lets runs of zero blocks become holes, for a regular file, from `from`
  // on.
  void AllowHoles(std::uint64_t from = 0);
  // Seeks over the hole before, then writes `size` bytes.
  bool WriteAll(const std::uint8_t* data, std::size_t size);
  // REQUIRES: size >= 1.
  static bool IsZero(const std::uint8_t* data, std::size_t size);

  OutputWatcher* watcher;
  Buffer buffer{*this};
  std::ostream stream{&buffer};
  int fd = -1;  // where Write() goes
  // The output's folder, held open so that the temporary file is made and
  // removed in it even when it has been renamed during the run.
  int folderFd = -1;
  // kCopyOver: the existing file open for writing, or -1 until a missing one
  // is made.
  int targetFd = -1;
  Kind kind = Kind::kDirect;
  std::string target;            // the file to replace or copy over
  std::uint32_t targetMode = 0;  // for a missing `target`: the bits to make it with
  bool targetMade = false;       // `target` was made by this run
  bool replace = true;           // an existing `target` may be replaced
  bool appeared = false;         // without `replace`, `target` appeared during the run
  std::string temporaryName;     // in `folderFd`, to remove on failure; or empty
  int writeError = 0;            // errno of the first failed write
  std::size_t holeBlock = 0;     // the file system's block, when holes are allowed
  std::uint64_t holesFrom = 0;   // no holes before this offset
  std::uint64_t offset = 0;      // bytes written or left as holes so far
  std::uint64_t hole = 0;        // zero bytes not written yet, before `offset`
  bool sparse = false;           // some zero bytes were left as holes
  bool plainWrites = false;      // no SIGPIPE can come: write() needs no care
  bool standardOutput = false;
};

}  // namespace tarvel
