#include "format/code_plan.h"

#include <cstddef>
#include <cstdint>
#include <memory>

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
  // The header is written in place, into room for the largest one: the
  // flags, an odd byte, a wide record count, the end position, a long
  // length, and 256 records of a byte and a long length.
  constexpr std::size_t kMostHeaderBytes = 1 + 1 + 2 + 4 + 2 + 256 * 3;
  plan.header.assign(kMostHeaderBytes, '\0');
  {
    BitWriter writer(reinterpret_cast<std::uint8_t*>(plan.header.data()), plan.header.size());
    WriteHeader(writer, plan.table, plan.index, /*oddByte=*/-1);
    writer.Close();
    plan.header.resize(static_cast<std::size_t>(writer.WritePosition()));
  }
  // The largest payload whose bits, and whose size in bytes with the
  // header, a signed 64-bit number holds.
  constexpr std::int64_t kMostBits = INT64_MAX - 8 * 1024;
  for (std::int32_t position = plan.table.LowerBound(); position < plan.table.End(); ++position) {
    const CodeEntry& entry = plan.table[position];
    const Count count =
        entry.symbol == kEndSymbol ? 1 : counts[static_cast<std::size_t>(entry.symbol)];
    const auto length = static_cast<std::int64_t>(entry.code.size());
    if (plan.payloadBits < 0 || count > (kMostBits - plan.payloadBits) / length) {
      plan.payloadBits = -1;
    } else {
      plan.payloadBits += count * length;
    }
    if (entry.symbol != kEndSymbol) plan.dataBytes += count;
  }
  return plan;
}

}  // namespace tarvel
