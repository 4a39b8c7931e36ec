// Instructions beyond the baseline that hot loops may be compiled for, and
// the choice between the variants when the program runs.
#pragma once

namespace tarvel {

// The variants exist only where the compiler targets x86-64; elsewhere the
// hot loops are compiled once, portably.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TARVEL_X86_VARIANTS 1
// Shifts by a count held in any register, in one step, where the baseline
// needs the count in one fixed register and three steps; and BMI1's count
// of trailing zeros, which every processor with BMI2 has.
#define TARVEL_WITH_BMI2 [[gnu::target("bmi,bmi2")]]
// The same, with loads and stores that swap the bytes on the way, which
// every processor with BMI2 has too.
#define TARVEL_WITH_BMI2_MOVBE [[gnu::target("bmi,bmi2,movbe")]]
// Vector steps of 32 bytes, with byte shuffles.
#define TARVEL_WITH_AVX2 [[gnu::target("avx2")]]
#else
#define TARVEL_X86_VARIANTS 0
#endif

// Whether the hot loops take their BMI2 or AVX2 variants: where the
// processor has it, unless the baseline ones were asked for.
bool UseBmi2();
bool UseAvx2();

// Makes the hot loops take their baseline variants, or not, from now on:
// the tests check both against the plain paths.
void UseBaselineInstructions(bool baseline);

}  // namespace tarvel
