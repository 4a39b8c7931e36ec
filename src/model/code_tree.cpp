// Building the code tree and walking it.
//
// Every bit of a compressed file follows from the shape of this tree and from
// the order of the walk, so both are fixed down to the last tie between equal
// weights. Any Huffman construction gives codes of optimal total length;
// ours must also give these particular codes, because a reader rebuilds them
// from their lengths alone, in table order.
//
// The order, step by step:
// 1. The list starts as the end symbol (weight 0), then every byte value that
//    occurs, in ascending order. This starting order matters: the sort below
//    is not stable for lists of more than 16 nodes.
// 2. SortNodeList orders the list heaviest first. Up to 16 nodes it is a
//    straight insertion, which keeps equal weights in their starting order.
//    Above that, a quicksort partition phase (median-of-three pivot, Hoare
//    scan, recursion on the smaller part, ranges of 16 or fewer left alone)
//    runs first, and its swaps decide the order of equal weights; the final
//    straight insertion keeps that order. A stable sort, or a different
//    quicksort, gives different codes.
// 3. The merge loop takes the last node (A, a lightest one) and the node
//    before it (B), joins them as a branch with A as its zero branch and B as
//    its one branch, appends the branch and moves it forward only past nodes
//    strictly lighter than it. So among equal weights the node nearer the end
//    is taken first, and a new branch is taken before every older node of its
//    weight. The end symbol, strictly the lightest leaf, is always the zero
//    branch of the first merge.
// 4. The walk visits the zero branch before the one branch and numbers the
//    leaves in the order it meets them: the CodeTable positions, which are
//    also the codes in ascending order.
#include "model/code_tree.h"

#include <cassert>
#include <cstddef>
#include <utility>

namespace tarvel {

void CodeNode::AssignCodes(std::int32_t& /*position*/, BitString& /*code*/, CodeTable& /*table*/) {}

CodeNode* CodeNode::GetChild(std::int32_t /*flag*/) const { return nullptr; }

void LeafNode::AssignCodes(std::int32_t& position, BitString& code, CodeTable& table) {
  CodeEntry& entry = table.At(position);
  entry.code = code;
  entry.symbol = symbol;
  ++position;
}

BranchNode::BranchNode(std::unique_ptr<CodeNode> zero, std::unique_ptr<CodeNode> one)
    : CodeNode((zero ? zero->GetWeight() : 0) + (one ? one->GetWeight() : 0)),
      zeroBranch(std::move(zero)),
      oneBranch(std::move(one)) {}

BranchNode::~BranchNode() {
  // Members would go in reverse order of declaration; the zero branch goes
  // first.
  zeroBranch.reset();
  oneBranch.reset();
}

void BranchNode::AssignCodes(std::int32_t& position, BitString& code, CodeTable& table) {
  code.push_back('0');
  if (zeroBranch) zeroBranch->AssignCodes(position, code, table);
  code.back() = '1';
  if (oneBranch) oneBranch->AssignCodes(position, code, table);
  code.pop_back();
}

CodeNode* BranchNode::GetChild(std::int32_t flag) const {
  return flag == 0 ? zeroBranch.get() : oneBranch.get();
}

namespace {

// Ranges of this many nodes or fewer are left to the final insertion.
constexpr std::ptrdiff_t kInsertionLimit = 16;

Weight WeightAt(const NodeList& list, std::ptrdiff_t i) {
  return list[static_cast<std::size_t>(i)]->GetWeight();
}

// Moves each node forward past every strictly lighter node before it, so
// equal weights keep the order they had.
void InsertionSort(NodeList& list) {
  for (std::size_t k = 1; k < list.size(); ++k) {
    std::unique_ptr<CodeNode> node = std::move(list[k]);
    std::size_t i = k;
    for (; i > 0 && list[i - 1]->GetWeight() < node->GetWeight(); --i) {
      list[i] = std::move(list[i - 1]);
    }
    list[i] = std::move(node);
  }
}

// The partition phase on [lo, hi): splits ranges of more than 16 nodes so
// that no node of a front part is lighter than any node of its back part.
void PartitionRange(NodeList& list, std::ptrdiff_t lo, std::ptrdiff_t hi) {
  while (hi - lo > kInsertionLimit) {
    const Weight x = WeightAt(list, lo);
    const Weight y = WeightAt(list, lo + (hi - lo) / 2);
    const Weight z = WeightAt(list, hi - 1);
    Weight pivot;
    if (x > y) {
      pivot = y > z ? y : (x > z ? z : x);
    } else {
      pivot = x > z ? x : (y > z ? z : y);
    }

    std::ptrdiff_t i = lo;
    std::ptrdiff_t j = hi;
    for (;;) {
      while (WeightAt(list, i) > pivot) ++i;
      do {
        --j;
      } while (pivot > WeightAt(list, j));
      if (j <= i) break;
      std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
      ++i;
    }
    const std::ptrdiff_t split = i;
    assert(lo < split && split < hi);

    // Recurse on the smaller part, carry on with the larger one: the depth
    // stays logarithmic.
    if (hi - split <= split - lo) {
      PartitionRange(list, split, hi);
      hi = split;
    } else {
      PartitionRange(list, lo, split);
      lo = split;
    }
  }
}

}  // namespace

void SortNodeList(NodeList& list) {
  const auto size = static_cast<std::ptrdiff_t>(list.size());
  if (size > kInsertionLimit) PartitionRange(list, 0, size);
  InsertionSort(list);
}

void MakeLeafList(const FrequencyTable& counts, NodeList& list) {
  assert(counts.size() >= 256);
  list.push_back(std::make_unique<LeafNode>(/*weight=*/0, kEndSymbol));
  for (std::int32_t value = 0; value < 256; ++value) {
    const Count count = counts[static_cast<std::size_t>(value)];
    if (count != 0) list.push_back(std::make_unique<LeafNode>(count, value));
  }
}

std::unique_ptr<CodeNode> BuildCodeTree(const FrequencyTable& counts, NodeList& list) {
  assert(list.empty());
  MakeLeafList(counts, list);
  SortNodeList(list);

  for (;;) {
    std::unique_ptr<CodeNode> zero = std::move(list.back());
    list.pop_back();
    if (list.empty()) return zero;
    std::unique_ptr<CodeNode> one = std::move(list.back());
    list.pop_back();
    list.push_back(std::make_unique<BranchNode>(std::move(zero), std::move(one)));
    for (std::size_t k = list.size() - 1; k > 0 && list[k]->GetWeight() > list[k - 1]->GetWeight();
         --k) {
      std::swap(list[k], list[k - 1]);
    }
  }
}

}  // namespace tarvel
