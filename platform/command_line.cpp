#include "platform/command_line.h"

namespace vcboot {
namespace {

bool needs_quotes(const std::string& argument) {
  return argument.empty() ||
         argument.find_first_of(" \t\"") != std::string::npos;
}

void append_quoted(const std::string& argument, std::string* out) {
  out->push_back('"');
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only in front of a quote: double them there, and
    // escape the quote itself.
    if (c == '"')
      out->append(backslashes * 2 + 1, '\\');
    else
      out->append(backslashes, '\\');
    backslashes = 0;
    out->push_back(c);
  }
  // The closing quote follows, so trailing backslashes are doubled too.
  out->append(backslashes * 2, '\\');
  out->push_back('"');
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string join_arguments(const std::vector<std::string>& arguments) {
  std::string out;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) out.push_back(' ');
    if (needs_quotes(arguments[i]))
      append_quoted(arguments[i], &out);
    else
      out += arguments[i];
  }
  return out;
}

std::vector<std::string> split_arguments(const std::string& text) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (true) {
    while (i < n && is_blank(text[i])) ++i;
    if (i == n) break;
    std::string argument;
    bool quoted = false;
    while (i < n && (quoted || !is_blank(text[i]))) {
      const char c = text[i];
      if (c == '\\') {
        std::size_t backslashes = 0;
        while (i < n && text[i] == '\\') ++backslashes, ++i;
        if (i < n && text[i] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) argument.push_back('"'), ++i;
        } else {
          argument.append(backslashes, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && text[i + 1] == '"') {
          argument.push_back('"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument.push_back(c);
        ++i;
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

}  // namespace vcboot
