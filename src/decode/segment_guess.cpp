#include "decode/segment_guess.h"

namespace tarvel {

void GuessAlone(Segment& segment, std::uint64_t checkpointBits, const DecodingTables& tables) {
  Guess(segment, checkpointBits).Finish(tables);
}

}  // namespace tarvel
