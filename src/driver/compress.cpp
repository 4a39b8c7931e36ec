#include "driver/compress.h"

#include <memory>
#include <sstream>

#include "model/code_table.h"
#include "model/code_tree.h"
#include "output/file_format.h"

namespace tarvel {

void CompressInput(std::istream& input, const FrequencyTable& counts, std::int32_t oddByte,
                   BitWriter& writer) {
  NodeList list;
  CodeTable table;
  SymbolIndex index;
  {
    std::unique_ptr<CodeNode> root = BuildCodeTree(counts, list);
    std::int32_t position = 0;
    BitString code;
    root->AssignCodes(position, code, table);
  }
  BuildSymbolIndex(table, index);
  WriteHeader(writer, table, index, oddByte);
  input.clear();
  input.seekg(0);
  WritePayload(writer, input, table, index);
}

std::string CompressBytes(std::string_view data) {
  std::ostringstream sink;
  {
    BitWriter writer(sink);
    if (!data.empty()) {
      std::istringstream input{std::string(data)};
      std::int32_t oddByte = -1;
      const FrequencyTable counts = CountSymbols(input, 256, /*sixteenBit=*/false, &oddByte);
      CompressInput(input, counts, oddByte, writer);
    }
  }
  return std::move(sink).str();
}

}  // namespace tarvel
