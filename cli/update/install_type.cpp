#include "update/install_type.h"

#include "platform/text.h"

namespace povupdate_cli {
namespace {

constexpr InstallKind kKinds[] = {InstallKind::kExe, InstallKind::kMsi, InstallKind::kZip};

InstallKind KindOfWord(const std::string& word) {
  for (const InstallKind kind : kKinds) {
    if (povupdate::EqualsIgnoringAsciiCase(word, InstallKindText(kind))) return kind;
  }
  return InstallKind::kNone;
}

}  // namespace

InstallChoice ChooseInstall(const std::string& type, const std::string& file_name) {
  const InstallKind named = KindOfWord(type);
  if (named != InstallKind::kNone) return {named, false};
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string::npos) return {};
  const InstallKind found = KindOfWord(file_name.substr(dot + 1));
  return {found, found != InstallKind::kNone};
}

const char* InstallKindText(InstallKind kind) {
  switch (kind) {
    case InstallKind::kExe:
      return "exe";
    case InstallKind::kMsi:
      return "msi";
    case InstallKind::kZip:
      return "zip";
    case InstallKind::kNone:
      break;
  }
  return "";
}

}  // namespace povupdate_cli
