// The statuses of the C interface, from what the layers below return.
#pragma once

#include "api/guarded.h"
#include "format/faults.h"
#include "tarvel.h"
#include "tarvel/tarvel.h"

namespace tarvel {

// The status for invalid data with `fault`.
int FaultStatus(Fault fault);

// The status for `result`; for kInvalidData, the one of its reason.
int ResultStatus(const Result& result);

// Runs `call`, which returns a status, and turns what it throws into
// TARVEL_ERROR_OUT_OF_MEMORY, as Guarded() does for Result.
template <typename Call>
int GuardedStatus(const Call& call) noexcept {
  return GuardedOr(call, [] { return static_cast<int>(TARVEL_ERROR_OUT_OF_MEMORY); });
}

}  // namespace tarvel
