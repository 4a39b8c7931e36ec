#include "format/code_plan.h"

#include <memory>
#include <sstream>

#include "format/header_writer.h"
#include "model/code_tree.h"

namespace tarvel {

CodePlan PlanCodes(const FrequencyTable& counts) {
  CodePlan plan;
  {
    NodeList list;
    std::unique_ptr<CodeNode> root = BuildCodeTree(counts, list);
    std::int32_t position = 0;
    BitString code;
    root->AssignCodes(position, code, plan.table);
  }
  BuildSymbolIndex(plan.table, plan.index);
  std::ostringstream header;
  {
    BitWriter writer(header);
    WriteHeader(writer, plan.table, plan.index, /*oddByte=*/-1);
  }
  plan.header = std::move(header).str();
  for (std::int32_t position = plan.table.LowerBound(); position < plan.table.End(); ++position) {
    const CodeEntry& entry = plan.table[position];
    const Count count =
        entry.symbol == kEndSymbol ? 1 : counts[static_cast<std::size_t>(entry.symbol)];
    plan.payloadBits += count * static_cast<std::int64_t>(entry.code.size());
    if (entry.symbol != kEndSymbol) plan.dataBytes += count;
  }
  return plan;
}

}  // namespace tarvel
