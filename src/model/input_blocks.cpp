#include "model/input_blocks.h"

namespace tarvel {

InputBlocks::Block InputBlocks::Next(char* buffer, std::size_t capacity) {
  const std::lock_guard<std::mutex> lock(mutex);
  Block block;
  if (done) return block;
  input.read(buffer, static_cast<std::streamsize>(capacity));
  block.size = static_cast<std::size_t>(input.gcount());
  block.number = next++;
  if (!input) done = true;
  if (block.size > 0 && copy != nullptr &&
      !copy->write(buffer, static_cast<std::streamsize>(block.size))) {
    copyFailed = true;
    done = true;
  }
  return block;
}

void InputBlocks::Stop() {
  const std::lock_guard<std::mutex> lock(mutex);
  done = true;
}

}  // namespace tarvel
