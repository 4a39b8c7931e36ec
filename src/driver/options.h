// The command line's options: arguments that begin with '/' or '-'.
#pragma once

namespace tarvel {

// Walks argv[1] to argv[*argc - 1]. An argument whose first character is '/'
// or '-' is an option and is removed; every other argument stays, packed
// towards the front of argv in its order, and *argc becomes 1 plus their
// number. The option "16" (after its first character, any case) sets
// *sixteenBit; any other option writes the unknown-option line to standard
// error and is dropped, and parsing goes on.
//
// The run does not call this: "/16" is accepted on the command line and has
// no effect, like every argument after the second.
void ParseOptions(int* argc, char** argv, bool* sixteenBit);

}  // namespace tarvel
