#include "io/cpu.h"

#include <atomic>

namespace tarvel {

namespace {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
bool ProcessorHasBmi2() { return __builtin_cpu_supports("bmi2"); }
bool ProcessorHasAvx2() { return __builtin_cpu_supports("avx2"); }
#else
bool ProcessorHasBmi2() { return false; }
bool ProcessorHasAvx2() { return false; }
#endif

std::atomic<bool> baselineOnly{false};

}  // namespace

bool UseBmi2() {
  static const bool hasBmi2 = ProcessorHasBmi2();
  return hasBmi2 && !baselineOnly.load(std::memory_order_relaxed);
}

bool UseAvx2() {
  static const bool hasAvx2 = ProcessorHasAvx2();
  return hasAvx2 && !baselineOnly.load(std::memory_order_relaxed);
}

void UseBaselineInstructions(bool baseline) {
  baselineOnly.store(baseline, std::memory_order_relaxed);
}

}  // namespace tarvel
