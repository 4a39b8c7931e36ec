#include "driver/run.h"
#include "driver/signals.h"

int main(int argc, char** argv) {
  tarvel::OpenStandardDescriptors();
  tarvel::InstallSignalHandling();
  return tarvel::RunTarvel(argc, argv);
}
