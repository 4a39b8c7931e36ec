#include "model/offset_array.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvel {
namespace {

struct Shape {
  std::int32_t lowerBound;
  std::int32_t count;
  std::int32_t capacity;
};

void ExpectShape(const OffsetArray<int>& array, Shape shape, const std::string& step) {
  EXPECT_EQ(array.LowerBound(), shape.lowerBound) << step;
  EXPECT_EQ(array.Count(), shape.count) << step;
  EXPECT_EQ(array.Capacity(), shape.capacity) << step;
}

TEST(OffsetArrayTest, GrowsBothWaysAndKeepsEveryValue) {
  OffsetArray<int> array;
  ExpectShape(array, {0, 0, 0}, "new");

  array.At(5) = 50;
  ExpectShape(array, {5, 1, 1}, "At(5)");

  array.At(7) = 70;
  ExpectShape(array, {5, 3, 4}, "At(7)");
  EXPECT_EQ(array.At(6), 0);

  EXPECT_EQ(array.At(3), 0);
  ExpectShape(array, {3, 5, 8}, "At(3)");
  EXPECT_EQ(array[5], 50);
  EXPECT_EQ(array[7], 70);
  EXPECT_EQ(array[4], 0);
  EXPECT_EQ(array[6], 0);

  array.At(4) = 40;
  ExpectShape(array, {3, 5, 8}, "At(4)");

  // Above the range but within the capacity: only the count rises.
  EXPECT_EQ(array.At(10), 0);
  ExpectShape(array, {3, 8, 8}, "At(10)");
  EXPECT_EQ(array[5], 50);
  EXPECT_EQ(array[4], 40);
}

TEST(OffsetArrayTest, ASymbolIndexStartingAtTheFirstSymbolGrowsDownToTheEndSymbol) {
  OffsetArray<int> index;
  const std::vector<int> symbols = {97, 98, -1, 100, 99, 114};
  const std::vector<Shape> shapes = {{97, 1, 1},     {97, 2, 2},     {-1, 100, 128},
                                     {-1, 102, 128}, {-1, 102, 128}, {-1, 116, 128}};
  for (std::size_t k = 0; k < symbols.size(); ++k) {
    index.At(symbols[k]) = static_cast<int>(k);
    ExpectShape(index, shapes[k], "symbol " + std::to_string(symbols[k]));
  }
  for (std::size_t k = 0; k < symbols.size(); ++k) EXPECT_EQ(index[symbols[k]], k);
  EXPECT_EQ(index[0], 0);
  EXPECT_EQ(index[113], 0);
}

TEST(OffsetArrayTest, HoldsDefaultValuesOfAnyElementType) {
  OffsetArray<std::string> array;
  array.At(-3) = "low";
  array.At(2) = "high";
  EXPECT_EQ(array.LowerBound(), -3);
  EXPECT_EQ(array.Count(), 6);
  EXPECT_EQ(array[-3], "low");
  EXPECT_EQ(array[2], "high");
  for (int i = -2; i < 2; ++i) EXPECT_EQ(array[i], "");
  EXPECT_EQ(array.At(-10), "");
  EXPECT_EQ(array.LowerBound(), -10);
  EXPECT_EQ(array[-3], "low");
}

}  // namespace
}  // namespace tarvel
