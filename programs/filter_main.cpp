#include "platform/process.h"
#include "program.h"

int main(int argc, char** argv) {
  tarvel::OpenStandardDescriptors();
  tarvel::InstallSignalHandling();
  return tarvel::RunFilter(argc, argv);
}
