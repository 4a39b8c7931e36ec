#include "messages.h"

#include <cerrno>
#include <iostream>

namespace tarvel {

namespace {

std::string Quoted(std::string_view before, std::string_view name, std::string_view after) {
  std::string text;
  text.reserve(before.size() + name.size() + after.size());
  text.append(before).append(name).append(after);
  return text;
}

}  // namespace

std::string InputOpenMessage(std::string_view fileName) {
  return Quoted("error : unable to open input file '", fileName, "'.");
}

std::string OutputOpenMessage(std::string_view fileName) {
  return Quoted("error : unable to open file '", fileName, "' for output.");
}

std::string SameFileMessage(std::string_view inputName, std::string_view outputName) {
  return Quoted("error : input file '", inputName, "' and output file '") +
         Quoted("", outputName, "' are the same file.");
}

std::string InputReadMessage(std::string_view fileName) {
  return Quoted("error : unable to read input file '", fileName, "'.");
}

std::string InputChangedMessage(std::string_view fileName) {
  return Quoted("error : input file '", fileName, "' changed while it was being compressed.");
}

std::string SpoolMessage(std::string_view fileName) {
  return Quoted("error : unable to keep a temporary copy of input file '", fileName, "'.");
}

std::string InvalidFileMessage(std::string_view fileName, std::string_view reason) {
  return Quoted("error : '", fileName, "' is not a valid tarvel file: ") + Quoted("", reason, ".");
}

std::string ReplaceFailedMessage(std::string_view fileName) {
  return Quoted("error : unable to replace output file '", fileName, "'.");
}

std::string OutputExistsMessage(std::string_view fileName) {
  return Quoted("error : output file '", fileName, "' already exists; use -f to replace it.");
}

std::string SwappedNamesMessage(std::string_view inputName, std::string_view outputName) {
  return Quoted("error : input file '", inputName, "' is already compressed, and '") +
         Quoted("", outputName, "' exists; use untarvel to restore it.");
}

std::string UnknownOptionMessage(std::string_view option) {
  return Quoted("error : unknown option '", option, "'.");
}

std::string FailureMessage(const Result& result, const std::string& input,
                           const std::string& output) {
  switch (result.code) {
    case Result::Code::kOk:
      break;
    case Result::Code::kOpenInput:
      return InputOpenMessage(input);
    case Result::Code::kOpenOutput:
      return OutputOpenMessage(output);
    case Result::Code::kSameFile:
      return SameFileMessage(input, output);
    case Result::Code::kReadInput:
      return InputReadMessage(input);
    case Result::Code::kInputChanged:
      return InputChangedMessage(input);
    case Result::Code::kTemporaryCopy:
      return SpoolMessage(input);
    case Result::Code::kWriteOutput:
      return result.systemError == EPIPE ? "" : std::string(kDiskFullMessage);
    case Result::Code::kReplaceOutput:
      return ReplaceFailedMessage(output);
    case Result::Code::kInvalidData:
      return InvalidFileMessage(input, result.reason);
    case Result::Code::kOutOfMemory:
      return std::string(kOutOfMemoryMessage);
    case Result::Code::kOutputExists:
      return OutputExistsMessage(output);
    case Result::Code::kCancelled:  // the programs ask for no progress
      break;
  }
  return "";
}

void WriteErrorLine(std::string_view message) { std::cerr << message << std::endl; }

}  // namespace tarvel
