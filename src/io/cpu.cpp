#include "io/cpu.h"

#include <atomic>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#endif

namespace tarvel {

namespace {

// What the processor has, asked once, when a hot loop first needs it: each
// question costs a trip to the hypervisor on a virtual machine, so a small
// input should not pay for many.
struct Features {
  bool bmi2 = false;
  bool avx2 = false;
};

Features AskProcessor() {
  Features features;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  unsigned a = 0;
  unsigned b = 0;
  unsigned c = 0;
  unsigned d = 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return features;
  // The BMI2 variants also count trailing zeros, which BMI1 brought, and
  // swap bytes as they load and store (MOVBE).
  const bool bmi = (b & bit_BMI2) != 0 && (b & bit_BMI) != 0;
  const bool avx2 = (b & bit_AVX2) != 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return features;
  features.bmi2 = bmi && (c & bit_MOVBE) != 0;
  // AVX2 also needs the system to save the vector registers.
  if (avx2 && (c & bit_OSXSAVE) != 0) {
    unsigned low = 0;
    unsigned high = 0;
    asm("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    features.avx2 = (low & 6) == 6;
  }
#endif
  return features;
}

const Features& Processor() {
  static const Features features = AskProcessor();
  return features;
}

std::atomic<bool> baselineOnly{false};

}  // namespace

bool UseBmi2() { return Processor().bmi2 && !baselineOnly.load(std::memory_order_relaxed); }

bool UseAvx2() { return Processor().avx2 && !baselineOnly.load(std::memory_order_relaxed); }

void UseBaselineInstructions(bool baseline) {
  baselineOnly.store(baseline, std::memory_order_relaxed);
}

}  // namespace tarvel
