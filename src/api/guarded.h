// The line that no exception crosses: every public call returns what
// happened.
#pragma once

#include "tarvel/tarvel.h"

namespace tarvel {

// Returns call(), or failed() when it throws. What the standard
// library throws below the API comes from exhausted resources only:
// std::bad_alloc, std::length_error for a size no allocation can have, and
// std::system_error for a lock or a thread that cannot be had (a thread that
// cannot be started is done without, and never gets here). Whatever the call
// made is released on the way out: its threads joined, an unfinished output
// discarded.
template <typename Call, typename Failed>
auto GuardedOr(const Call& call, const Failed& failed) noexcept -> decltype(call()) {
  try {
    return call();
  } catch (...) {
    return failed();
  }
}

// Returns call(), or a kOutOfMemory Result when it throws.
template <typename Call>
Result Guarded(const Call& call) noexcept {
  return GuardedOr(call, [] {
    Result failed;
    failed.code = Result::Code::kOutOfMemory;
    return failed;
  });
}

}  // namespace tarvel
