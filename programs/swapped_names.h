// tarvel given its two names the wrong way round.
#pragma once

#include <string>

namespace tarvel {

// Whether compressing `input` into `output` would most likely destroy the
// original that `input` was made from: `input` is a regular file whose name
// ends in ".tarvel" and whose bytes follow the layout to their end, and
// `output` is another existing regular file (also through a link) whose name
// does not end so. A run that would replace any other existing output is
// meant as it is typed. Reads `input` once, in bounded memory, when the
// names match.
bool NamesLookSwapped(const std::string& input, const std::string& output);

}  // namespace tarvel
