#include "driver/run.h"

int main(int argc, char** argv) { return tarvel::RunTarvel(argc, argv); }
