#include "driver/signals.h"
#include "driver/untarvel.h"

int main(int argc, char** argv) {
  tarvel::OpenStandardDescriptors();
  tarvel::InstallSignalHandling();
  return tarvel::RunUntarvel(argc, argv);
}
