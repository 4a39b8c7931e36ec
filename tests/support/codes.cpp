#include "support/codes.h"

#include "model/code_tree.h"

namespace tarvel::testing {

FrequencyTable CountsOf(std::string_view bytes) {
  FrequencyTable counts(256, 0);
  for (const char c : bytes) ++counts[static_cast<unsigned char>(c)];
  return counts;
}

void MakeCodes(const FrequencyTable& counts, CodeTable& table, SymbolIndex& index) {
  NodeList list;
  std::unique_ptr<CodeNode> root = BuildCodeTree(counts, list);
  std::int32_t position = 0;
  BitString code;
  root->AssignCodes(position, code, table);
  root.reset();
  BuildSymbolIndex(table, index);
}

std::string DescribeTable(const CodeTable& table) {
  std::string text;
  for (std::int32_t position = table.LowerBound(); position < table.End(); ++position) {
    const CodeEntry& entry = table[position];
    if (!text.empty()) text.push_back(' ');
    if (entry.symbol == kEndSymbol) {
      text += "end";
    } else if (entry.symbol > ' ' && entry.symbol < 127) {
      text.push_back(static_cast<char>(entry.symbol));
    } else {
      text += std::to_string(entry.symbol);
    }
    text += ":" + entry.code;
  }
  return text;
}

}  // namespace tarvel::testing
