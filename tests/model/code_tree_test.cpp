#include "model/code_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/codes.h"

namespace tarvel {
namespace {

using testing::CountsOf;

// The symbols of the leaf list for `counts` after SortNodeList, -1 standing
// for the end symbol.
std::vector<int> SortedSymbols(const FrequencyTable& counts) {
  NodeList list;
  MakeLeafList(counts, list);
  SortNodeList(list);
  std::vector<int> symbols;
  for (const auto& node : list) symbols.push_back(node->GetSymbol());
  return symbols;
}

// The counts with `copies` of each of the byte values first to last.
FrequencyTable Repeated(int first, int last, Count copies) {
  FrequencyTable counts(256, 0);
  for (int v = first; v <= last; ++v) counts[v] = copies;
  return counts;
}

std::vector<int> Range(int from, int to, int step) {
  std::vector<int> values;
  for (int v = from; step > 0 ? v <= to : v >= to; v += step) values.push_back(v);
  return values;
}

std::vector<int> Concat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(SortNodeListTest, OrdersHeaviestFirstWithTheExactTieOrder) {
  struct Case {
    std::string name;
    FrequencyTable counts;
    std::vector<int> sorted;
  };
  const std::vector<Case> cases = {
      {"one value", CountsOf("zzz"), {'z', -1}},
      {"abracadabra", CountsOf("abracadabra"), {'a', 'b', 'r', 'c', 'd', -1}},
      // 16 leaves: straight insertion keeps equal weights in starting order.
      {"15 values once", Repeated(0, 14, 1), Concat(Range(0, 14, 1), {-1})},
      // 17 leaves: one partition step reverses the equal weights.
      {"0 to 15 once", Repeated(0, 15, 1), Concat(Range(15, 0, -1), {-1})},
      {"a to q twice", Repeated('a', 'q', 2), Concat(Range('q', 'a', -1), {-1})},
  };
  for (const auto& c : cases) EXPECT_EQ(SortedSymbols(c.counts), c.sorted) << c.name;
}

TEST(SortNodeListTest, AllValuesOnceBeginsAt160AndEndsAt80) {
  const std::vector<int> sorted = SortedSymbols(Repeated(0, 255, 1));
  ASSERT_EQ(sorted.size(), 257u);
  EXPECT_EQ(std::vector<int>(sorted.begin(), sorted.begin() + 3),
            (std::vector<int>{160, 161, 162}));
  EXPECT_EQ(std::vector<int>(sorted.end() - 5, sorted.end()),
            (std::vector<int>{83, 82, 81, 80, -1}));
}

TEST(SortNodeListTest, SortsAnyWeightsHeaviestFirst) {
  std::uint32_t state = 12345;
  for (int round = 0; round < 200; ++round) {
    FrequencyTable counts(256, 0);
    for (auto& count : counts) {
      state = state * 1103515245u + 12345u;
      count = static_cast<Count>((state >> 16) % (round % 7 + 1));
    }
    NodeList list;
    MakeLeafList(counts, list);
    const std::size_t size = list.size();
    SortNodeList(list);
    ASSERT_EQ(list.size(), size);
    for (std::size_t k = 1; k < list.size(); ++k) {
      ASSERT_GE(list[k - 1]->GetWeight(), list[k]->GetWeight()) << "round " << round;
    }
  }
}

// The tree as text: a leaf is its symbol ("end" for the end symbol), a branch
// is "(zero one)".
std::string Describe(const CodeNode* node) {
  if (node->IsLeaf()) {
    if (node->GetSymbol() == kEndSymbol) return "end";
    return std::string(1, static_cast<char>(node->GetSymbol()));
  }
  std::string text = "(";
  text.append(Describe(node->GetChild(0))).append(" ").append(Describe(node->GetChild(1)));
  return text.append(")");
}

TEST(BuildCodeTreeTest, MergesTheTwoLightestWithTheExactTieBreaks) {
  struct Case {
    std::string input;
    std::string tree;
  };
  const std::vector<Case> cases = {
      {"v", "(end v)"},
      {"vvvvvvv", "(end v)"},
      {"ab", "((end b) a)"},
      {"abc", "(a ((end c) b))"},
      // end+d (1) stays last; +c (2) stays behind r; +r (4) moves before b;
      // b+that (6) moves before a; a+that is the root.
      {"abracadabra", "(a (b (((end d) c) r)))"},
      // A new branch equal in weight to older nodes is merged before them:
      // end+c (1), then that+b (2) stays behind a (2) and is merged first.
      {"aabc", "(((end c) b) a)"},
  };
  for (const auto& c : cases) {
    NodeList list;
    const auto root = BuildCodeTree(CountsOf(c.input), list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(root->GetWeight(), static_cast<Weight>(c.input.size()));
    EXPECT_EQ(Describe(root.get()), c.tree) << c.input;
  }
}

TEST(BuildCodeTreeTest, AllValuesGiveARootWeighingTheInput) {
  FrequencyTable counts(256, 0);
  Weight total = 0;
  for (int v = 0; v < 256; ++v) total += counts[v] = v + 1;
  NodeList list;
  const auto root = BuildCodeTree(counts, list);
  EXPECT_EQ(root->GetWeight(), total);
  EXPECT_FALSE(root->IsLeaf());
}

TEST(CodeNodeTest, BaseAndLeafHaveTheDoNothingDefaults) {
  CodeNode base(7);
  EXPECT_FALSE(base.IsLeaf());
  EXPECT_EQ(base.GetSymbol(), 0);
  EXPECT_EQ(base.GetChild(0), nullptr);
  EXPECT_EQ(base.GetWeight(), 7);
  EXPECT_EQ(CodeNode().GetWeight(), 0);
  CodeTable table;
  std::int32_t position = 3;
  BitString code = "01";
  base.AssignCodes(position, code, table);
  EXPECT_EQ(position, 3);
  EXPECT_EQ(table.Count(), 0);

  LeafNode leaf(4, 'x');
  EXPECT_TRUE(leaf.IsLeaf());
  EXPECT_EQ(leaf.GetSymbol(), 'x');
  EXPECT_EQ(leaf.GetChild(1), nullptr);

  BranchNode branch(std::make_unique<LeafNode>(2, 'a'), nullptr);
  EXPECT_EQ(branch.GetWeight(), 2);
  EXPECT_EQ(branch.GetChild(0)->GetSymbol(), 'a');
  EXPECT_EQ(branch.GetChild(5), nullptr);
}

}  // namespace
}  // namespace tarvel
