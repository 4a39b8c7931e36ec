// Instructions beyond the baseline that hot loops may be compiled for, with
// the test that chooses them when the program runs.
#pragma once

namespace tarvel {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Shifts by a count held in any register, in one step, where the baseline
// needs the count in one fixed register and three steps.
#define TARVEL_WITH_BMI2 [[gnu::target("bmi2")]]
inline bool HasBmi2() { return __builtin_cpu_supports("bmi2"); }
#else
#define TARVEL_WITH_BMI2
inline bool HasBmi2() { return false; }
#endif

}  // namespace tarvel
