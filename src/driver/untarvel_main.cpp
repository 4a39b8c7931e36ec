#include "driver/untarvel.h"

int main(int argc, char** argv) { return tarvel::RunUntarvel(argc, argv); }
