// The C interface: files and descriptors.
#include <cerrno>

#include "api/c_status.h"
#include "api/files.h"

namespace {

// The status of a file call; errno holds the system's reason, where there
// is one.
int Finish(const tarvel::Result& result) {
  const int status = tarvel::ResultStatus(result);
  if (status != TARVEL_OK && result.systemError != 0) errno = result.systemError;
  return status;
}

tarvel::FileJob Job(int threads, tarvel_progress progress, void* user) {
  tarvel::FileJob job;
  job.threads = threads;
  job.progress = progress;
  job.user = user;
  return job;
}

}  // namespace

extern "C" {

int tarvel_compress_file(const char* input, const char* output, int threads,
                         tarvel_progress progress, void* user) {
  if (input == nullptr || output == nullptr || threads < 0) return TARVEL_ERROR_ARGUMENT;
  return tarvel::GuardedStatus([&] {
    return Finish(tarvel::CompressNamedFile(input, output, Job(threads, progress, user)));
  });
}

int tarvel_decompress_file(const char* input, const char* output, int threads,
                           tarvel_progress progress, void* user) {
  if (input == nullptr || output == nullptr || threads < 0) return TARVEL_ERROR_ARGUMENT;
  return tarvel::GuardedStatus([&] {
    return Finish(tarvel::DecompressNamedFile(input, output, Job(threads, progress, user)));
  });
}

int tarvel_compress_fd(int input, int output, int threads, tarvel_progress progress, void* user) {
  if (threads < 0) return TARVEL_ERROR_ARGUMENT;
  return Finish(tarvel::CompressDescriptor(input, output, Job(threads, progress, user)));
}

int tarvel_decompress_fd(int input, int output, int threads, tarvel_progress progress, void* user) {
  if (threads < 0) return TARVEL_ERROR_ARGUMENT;
  return Finish(tarvel::DecompressDescriptor(input, output, Job(threads, progress, user)));
}

}  // extern "C"
