#include "model/code_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "model/code_tree.h"
#include "support/codes.h"

namespace tarvel {
namespace {

using testing::CountsOf;
using testing::DescribeTable;
using testing::MakeCodes;

TEST(AssignCodesTest, GivesEveryLeafItsCodeInWalkOrder) {
  struct Case {
    std::string input;
    std::string table;
  };
  const std::vector<Case> cases = {
      {"a", "end:0 a:1"},
      {std::string(1, '\0'), "end:0 0:1"},
      {"\xFF\xFF", "end:0 255:1"},
      {"ab", "end:00 b:01 a:1"},
      {"abc", "a:0 end:100 c:101 b:11"},
      {"abracadabra", "a:0 b:10 end:11000 d:11001 c:1101 r:111"},
      {"abcdefghijklmnopqrst",
       "c:0000 d:0001 end:00100 a:00101 b:0011 g:0100 h:0101 e:0110 f:0111 s:1000 t:1001 "
       "q:1010 r:1011 k:11000 l:11001 i:11010 j:11011 o:11100 p:11101 m:11110 n:11111"},
  };
  for (const auto& c : cases) {
    CodeTable table;
    SymbolIndex index;
    MakeCodes(CountsOf(c.input), table, index);
    EXPECT_EQ(table.LowerBound(), 0);
    EXPECT_EQ(DescribeTable(table), c.table) << c.input;
  }
}

TEST(AssignCodesTest, AllValuesOnceGiveTwoNineBitCodesAt170) {
  std::string input;
  for (int v = 0; v < 256; ++v) input.push_back(static_cast<char>(255 - v));
  CodeTable table;
  SymbolIndex index;
  MakeCodes(CountsOf(input), table, index);
  ASSERT_EQ(table.Count(), 257);
  int eightBit = 0;
  for (int position = 0; position < 257; ++position) {
    if (table[position].code.size() == 8) ++eightBit;
  }
  EXPECT_EQ(eightBit, 255);
  EXPECT_EQ(table[170].symbol, kEndSymbol);
  EXPECT_EQ(table[170].code, "101010100");
  EXPECT_EQ(table[171].symbol, 80);
  EXPECT_EQ(table[171].code, "101010101");
  EXPECT_EQ(index[kEndSymbol], 170);
  EXPECT_EQ(index[80], 171);
}

TEST(AssignCodesTest, WalkRestoresTheCodeAndCountsTheLeaves) {
  LeafNode leaf(3, 'q');
  CodeTable table;
  std::int32_t position = 0;
  BitString code;
  leaf.AssignCodes(position, code, table);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table[0].code, "");
  EXPECT_EQ(table[0].symbol, 'q');

  NodeList list;
  auto root = BuildCodeTree(CountsOf("abracadabra"), list);
  CodeTable full;
  position = 0;
  code = "";
  root->AssignCodes(position, code, full);
  EXPECT_EQ(position, 6);
  EXPECT_EQ(code, "");
}

TEST(BuildSymbolIndexTest, MapsEverySymbolToItsPosition) {
  CodeTable table;
  SymbolIndex index;
  MakeCodes(CountsOf("abracadabra"), table, index);
  EXPECT_EQ(index.LowerBound(), -1);
  EXPECT_EQ(index.Count(), 116);
  EXPECT_EQ(index[kEndSymbol], 2);
  EXPECT_EQ(index['a'], 0);
  EXPECT_EQ(index['b'], 1);
  EXPECT_EQ(index['c'], 4);
  EXPECT_EQ(index['d'], 3);
  EXPECT_EQ(index['r'], 5);
  int zeros = 0;
  for (int symbol = index.LowerBound(); symbol < index.End(); ++symbol) zeros += index[symbol] == 0;
  EXPECT_EQ(zeros, 111);  // 'a' itself and the 110 byte values that do not occur

  CodeTable single;
  SymbolIndex singleIndex;
  MakeCodes(CountsOf("vv"), single, singleIndex);
  EXPECT_EQ(singleIndex.LowerBound(), -1);
  EXPECT_EQ(singleIndex.End(), 'v' + 1);
  EXPECT_EQ(singleIndex[kEndSymbol], 0);
  EXPECT_EQ(singleIndex['v'], 1);
}

// The total coded length of a Huffman code for `counts` and a zero-weight end
// symbol, computed without a tree: the sum of all merged weights. Any Huffman
// code, whatever its tie-breaks, has this total.
std::int64_t HuffmanTotal(const FrequencyTable& counts) {
  std::priority_queue<std::int64_t, std::vector<std::int64_t>, std::greater<>> heap;
  heap.push(0);
  for (const Count count : counts) {
    if (count != 0) heap.push(count);
  }
  std::int64_t total = 0;
  while (heap.size() > 1) {
    const std::int64_t a = heap.top();
    heap.pop();
    const std::int64_t b = heap.top();
    heap.pop();
    total += a + b;
    heap.push(a + b);
  }
  return total;
}

// Checks that the codes in table order follow the rule a reader relies on:
// the first is all zeros, each next one is the previous plus one, padded
// with zeros or cut (cutting only zeros) to its length, and the last is all
// ones. Together these make a complete prefix code.
void ExpectConsecutiveCodes(const CodeTable& table) {
  ASSERT_GE(table.Count(), 2);
  EXPECT_EQ(table[0].code, std::string(table[0].code.size(), '0'));
  for (int position = 1; position < table.End(); ++position) {
    std::string next = table[position - 1].code;
    int k = static_cast<int>(next.size()) - 1;
    for (; k >= 0 && next[k] == '1'; --k) next[k] = '0';
    ASSERT_GE(k, 0) << "code overflow at position " << position;
    next[k] = '1';
    const std::string& code = table[position].code;
    if (code.size() >= next.size()) {
      next.append(code.size() - next.size(), '0');
    } else {
      ASSERT_EQ(next.substr(code.size()), std::string(next.size() - code.size(), '0'));
      next.resize(code.size());
    }
    ASSERT_EQ(code, next) << "position " << position;
  }
  const std::string& last = table[table.End() - 1].code;
  EXPECT_EQ(last, std::string(last.size(), '1'));
}

TEST(CodeTablePropertyTest, ManyCountTablesGiveOptimalConsecutiveCodes) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 600; ++round) {
    FrequencyTable counts(256, 0);
    const int shape = round % 5;
    const int symbols = 1 + static_cast<int>(random() % 256);
    for (int k = 0; k < symbols; ++k) {
      const int value = static_cast<int>(random() % 256);
      switch (shape) {
        case 0:  // equal counts
          counts[value] = 7;
          break;
        case 1:  // skewed
          counts[value] = 1 + static_cast<Count>(1000000.0 / ((k + 1) * (k + 1)));
          break;
        case 2:  // Fibonacci-like, deep trees
          counts[value] = k < 2 ? 1 : std::min<Count>(counts[value] + 1, 1 << (k / 2 % 30));
          break;
        case 3:  // few distinct values
          counts[value] = 1 + static_cast<Count>(random() % 4);
          break;
        default:  // wide range
          counts[value] = 1 + static_cast<Count>(random() % 8000000);
          if (round % 10 == 4) counts[value] <<= 20;  // sums far beyond 2^32
      }
    }
    CodeTable table;
    SymbolIndex index;
    MakeCodes(counts, table, index);

    std::int64_t total = 0;
    for (int position = 0; position < table.End(); ++position) {
      const CodeEntry& entry = table[position];
      if (entry.symbol != kEndSymbol)
        total += std::int64_t{counts[entry.symbol]} * entry.code.size();
      ASSERT_EQ(index[entry.symbol], position);
    }
    ASSERT_EQ(total, HuffmanTotal(counts)) << "round " << round;
    ExpectConsecutiveCodes(table);
  }
}

TEST(CodeTablePropertyTest, CountsOf2To31AndMoreBuildTheSameTreeAsTheirScaledDownRatios) {
  // Equal ratios give equal trees: the tie-breaks only compare weights.
  const std::vector<Count> small = {5, 2, 2, 1, 1, 3, 8, 1};
  for (const Count scale : {Count{1} << 31, (Count{1} << 32) + 0, Count{3} << 40}) {
    FrequencyTable smallCounts(256, 0), bigCounts(256, 0);
    for (std::size_t k = 0; k < small.size(); ++k) {
      smallCounts[k * 31] = small[k];
      bigCounts[k * 31] = small[k] * scale;
    }
    CodeTable smallTable, bigTable;
    SymbolIndex smallIndex, bigIndex;
    MakeCodes(smallCounts, smallTable, smallIndex);
    MakeCodes(bigCounts, bigTable, bigIndex);
    EXPECT_EQ(DescribeTable(bigTable), DescribeTable(smallTable)) << scale;
  }
  // A count of exactly 2^31 next to small ones: the root weighs the sum, and
  // the branch of 2^31 made from the others stays behind the leaf of 2^31.
  FrequencyTable counts(256, 0);
  counts[0] = Count{1} << 31;
  counts[1] = 1;
  counts[2] = (Count{1} << 31) - 1;
  NodeList list;
  const auto root = BuildCodeTree(counts, list);
  EXPECT_EQ(root->GetWeight(), Count{1} << 32);
  CodeTable table;
  SymbolIndex index;
  MakeCodes(counts, table, index);
  EXPECT_EQ(DescribeTable(table), "end:000 1:001 2:01 0:1");
}

TEST(CodeTablePropertyTest, FibonacciCountsGiveLongCodes) {
  FrequencyTable counts(256, 0);
  Count a = 1, b = 1;
  for (int v = 0; v < 40; ++v) {
    counts[v] = a;
    const Count next = a + b;
    a = b;
    b = next;
  }
  CodeTable table;
  SymbolIndex index;
  MakeCodes(counts, table, index);
  std::size_t longest = 0;
  for (int position = 0; position < table.End(); ++position) {
    longest = std::max(longest, table[position].code.size());
  }
  EXPECT_EQ(longest, 40u);
  ExpectConsecutiveCodes(table);
}

}  // namespace
}  // namespace tarvel
