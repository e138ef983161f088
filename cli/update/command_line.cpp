#include "update/command_line.h"

namespace povupdate_cli {

std::vector<std::string> SplitCommandLine(const std::string& parameters) {
  std::vector<std::string> arguments;
  std::string argument;
  bool in_argument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const char c = parameters[i];
    if ((c == ' ' || c == '\t') && !quoted) {
      if (in_argument) arguments.push_back(argument);
      argument.clear();
      in_argument = false;
      continue;
    }
    in_argument = true;
    if (c == '\\') {
      std::size_t count = 0;
      while (i < parameters.size() && parameters[i] == '\\') {
        ++count;
        ++i;
      }
      if (i < parameters.size() && parameters[i] == '"') {
        argument.append(count / 2, '\\');
        if (count % 2 == 1) {
          argument += '"';
          continue;
        }
      } else {
        argument.append(count, '\\');
      }
      --i;  // The character after the backslashes is read next.
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < parameters.size() && parameters[i + 1] == '"') {
        argument += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
      continue;
    }
    argument += c;
  }
  if (in_argument) arguments.push_back(argument);
  return arguments;
}

}  // namespace povupdate_cli
