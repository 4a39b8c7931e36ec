#include "support/scratch.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tarvel::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::mt19937_64 names(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    root = fs::temp_directory_path() / ("tarvel-test-" + std::to_string(names()));
    if (fs::create_directory(root)) return;
  }
  throw std::runtime_error("no scratch folder could be made");
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Restore permissions a test may have taken away, so that removal works.
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (const auto& entry : fs::directory_iterator(root, ignored)) {
    if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(root, ignored);
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (!text.empty()) text.push_back(' ');
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

std::string FromHex(std::string_view hex) {
  std::string bytes;
  std::string digits;
  for (const char c : hex) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    digits.push_back(c);
    if (digits.size() == 2) {
      bytes.push_back(static_cast<char>(std::stoi(digits, nullptr, 16)));
      digits.clear();
    }
  }
  if (!digits.empty()) throw std::invalid_argument("odd number of hex digits");
  return bytes;
}

RunResult RunCommand(const std::vector<std::string>& argv, const fs::path& workDir,
                     const std::string& stdinPath) {
  const ScratchDir captured;
  const std::string out = (captured / "out").string();
  const std::string err = (captured / "err").string();
  RunResult result;
  result.exitCode = WaitCommand(StartCommand(argv, workDir, stdinPath, out, err));
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

RunResult RunTarvelBinary(const std::vector<std::string>& args, const fs::path& workDir) {
  std::vector<std::string> argv{TARVEL_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, workDir);
}

}  // namespace tarvel::testing

namespace tarvel::testing {

RunResult RunUntarvelBinary(const std::vector<std::string>& args,
                            const std::filesystem::path& workDir) {
  std::vector<std::string> argv{UNTARVEL_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, workDir);
}

}  // namespace tarvel::testing
