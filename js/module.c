/* The WebAssembly module exports the calls of tarvel.h that its linker is
 * told to (js/CMakeLists.txt); this file only gives the module its one
 * source, and checks that the interface compiles as C here. */
#include <tarvel.h>
