#include "format/faults.h"

#include <array>
#include <cstddef>

namespace tarvel {

namespace {

constexpr std::array<const char*, static_cast<std::size_t>(Fault::kCount)> kReasons = {
    "",
    "the header is truncated",
    "the header has unknown flags set",
    "the header announces a lone trailing byte, which no byte-coded file has",
    "the header lists more records than there are byte values",
    "the end position is beyond the record count",
    "a byte value has two records",
    "a code length is 0",
    "a code length exceeds 256 bits",
    "the code lengths overflow",
    "a shortened code drops bits that are not zero",
    "the last code is not all ones",
    "the payload ends before the end symbol",
    "the payload ends inside a code",
    "the fill bits after the end symbol are not zero",
    "data follows the end symbol",
};
static_assert(kReasons.back() != nullptr, "a phrase for every fault");

}  // namespace

const char* FaultReason(Fault fault) { return kReasons[static_cast<std::size_t>(fault)]; }

}  // namespace tarvel
