#include "update/archive_names.h"

#include <algorithm>
#include <cctype>

namespace povupdate_cli {
namespace {

// Device names, with or without an extension, in any case.
bool IsReservedName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  std::transform(base.begin(), base.end(), base.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (std::find(std::begin(kDevices), std::end(kDevices), base) != std::end(kDevices)) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

}  // namespace

bool SplitArchiveName(const std::string& name, std::vector<std::string>& components,
                      std::string& problem) {
  components.clear();
  if (name.empty() || name.front() == '/') {
    problem = name.empty() ? "has no name" : "has an absolute name";
    return false;
  }
  const bool unsafe = std::any_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == '\\' || c == ':';
  });
  if (unsafe) {
    problem = "has a name with a '\\', a ':' or a control character";
    return false;
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string component = name.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      problem = "has a name that leads out of its directory (..)";
      return false;
    }
    if (IsReservedName(component) || component.back() == '.' || component.back() == ' ') {
      problem = "has a name Windows reserves or can't keep (" + component + ")";
      return false;
    }
    components.push_back(component);
  }
  if (components.empty()) {
    problem = "has no name";
    return false;
  }
  return true;
}

}  // namespace povupdate_cli
