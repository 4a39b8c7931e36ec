#include "io/cpu.h"

#include <atomic>

namespace tarvel {

namespace {

bool ProcessorHasBmi2() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  return __builtin_cpu_supports("bmi2");
#else
  return false;
#endif
}

std::atomic<bool> baselineOnly{false};

}  // namespace

bool UseBmi2() {
  static const bool hasBmi2 = ProcessorHasBmi2();
  return hasBmi2 && !baselineOnly.load(std::memory_order_relaxed);
}

void UseBaselineInstructions(bool baseline) {
  baselineOnly.store(baseline, std::memory_order_relaxed);
}

}  // namespace tarvel
