// The code tree: leaves for the symbols that occur, branch nodes that join
// them, and the list from which the tree is built.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/bit_string.h"
#include "model/code_table.h"
#include "model/symbol_count.h"

namespace tarvel {

// How often the symbols under a node occur in the input: 64 bits, like the
// counts, so that sums never wrap.
using Weight = std::int64_t;

// The base of the tree's nodes. It is a concrete class: every operation has a
// do-nothing default that LeafNode and BranchNode override where they differ.
class CodeNode {
 public:
  CodeNode() = default;
  explicit CodeNode(Weight weight) : weight(weight) {}
  virtual ~CodeNode() = default;

  CodeNode(const CodeNode&) = delete;
  CodeNode& operator=(const CodeNode&) = delete;

  // Gives every leaf under this node its code: `code` is the path from the
  // root to this node, `position` the next free CodeTable position. Leaves
  // are stored in walk order, zero branch first; on return `position` has
  // passed every leaf under this node and `code` is as it was on entry.
  virtual void AssignCodes(std::int32_t& position, BitString& code, CodeTable& table);
  virtual bool IsLeaf() const { return false; }
  virtual std::int32_t GetSymbol() const { return 0; }
  // The zero branch for flag 0, the one branch for any other flag; null for
  // nodes without children.
  virtual CodeNode* GetChild(std::int32_t flag) const;

  Weight GetWeight() const { return weight; }

 protected:
  Weight weight = 0;
};

class LeafNode : public CodeNode {
 public:
  // REQUIRES: symbol is a byte value 0 to 255, or kEndSymbol.
  LeafNode(Weight weight, std::int32_t symbol) : CodeNode(weight), symbol(symbol) {}

  // Stores a copy of `code` and the symbol at `position`, then advances it.
  void AssignCodes(std::int32_t& position, BitString& code, CodeTable& table) override;
  bool IsLeaf() const override { return true; }
  std::int32_t GetSymbol() const override { return symbol; }

 private:
  std::int32_t symbol;
};

// An inner node. It owns its two children; destroying it destroys the zero
// branch first, then the one branch, so destroying the root frees the tree.
class BranchNode : public CodeNode {
 public:
  // Takes ownership of both children. The weight is the sum of theirs; an
  // absent child counts as 0.
  BranchNode(std::unique_ptr<CodeNode> zeroBranch, std::unique_ptr<CodeNode> oneBranch);
  ~BranchNode() override;

  // Walks the zero branch with '0' appended to `code`, then the one branch
  // with '1'.
  void AssignCodes(std::int32_t& position, BitString& code, CodeTable& table) override;
  CodeNode* GetChild(std::int32_t flag) const override;

 private:
  std::unique_ptr<CodeNode> zeroBranch;
  std::unique_ptr<CodeNode> oneBranch;
};

// The nodes not yet joined, heaviest first; it owns them while the tree is
// being built.
using NodeList = std::vector<std::unique_ptr<CodeNode>>;

// Appends the end symbol's leaf (weight 0), then a leaf for every byte value
// whose count is not 0, in ascending byte order: the list before the sort.
// REQUIRES: counts.size() >= 256.
void MakeLeafList(const FrequencyTable& counts, NodeList& list);

// Sorts `list` heaviest first, with equal weights in exactly the order that
// the partition steps and the final straight insertion leave them in.
void SortNodeList(NodeList& list);

// Builds the code tree for `counts` (256 counts by byte value) and returns
// its root. The tree has a leaf for the end symbol (weight 0) and one for
// every byte value whose count is not 0.
// REQUIRES: `list` is empty and counts.size() >= 256. `list` is empty again
// on return.
std::unique_ptr<CodeNode> BuildCodeTree(const FrequencyTable& counts, NodeList& list);

}  // namespace tarvel
