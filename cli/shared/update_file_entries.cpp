#include "shared/update_file_entries.h"

#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>

#include "check/update_file_checker.h"
#include "platform/ini_document.h"
#include "platform/signed_file.h"
#include "platform/text.h"
#include "povupdate.h"
#include "shared/file_access.h"
#include "shared/host_platform.h"

namespace povupdate_cli {

using povupdate::backend::IniDocument;

std::vector<std::string> WalkIndex(const IniDocument& file) {
  std::vector<std::string> names;
  for (std::size_t number = 1;; ++number) {
    const std::optional<std::string_view> value = file.Find(kIndexSection, std::to_string(number));
    if (!value || value->empty()) return names;
    names.emplace_back(value->substr(0, kMaxSectionName));
  }
}

std::string ApplicableKeyFile(const std::string& key) {
  if (!key.empty()) return key;
  const std::string host = HostDirectory();
  if (host.empty()) return "";
  const std::string path = host + povupdate::kTrustedKeysFile;
  std::error_code error;
  const auto type = std::filesystem::symlink_status(path, error).type();
  return type == std::filesystem::file_type::not_found ? "" : path;
}

UpdateFileEntries::UpdateFileEntries() = default;
UpdateFileEntries::~UpdateFileEntries() = default;

int UpdateFileEntries::Read(const std::string& path, const std::string& key, std::string& problem) {
  std::string bytes;
  if (!ReadRegularFile(path, bytes, problem)) {
    problem = path + " " + problem;
    return 1;
  }
  const std::string key_path = ApplicableKeyFile(key);
  if (!key_path.empty()) {
    std::string keys;
    if (!ReadRegularFile(key_path, keys, problem)) {
      problem = path + " can't be checked: the key file " + key_path + " " + problem;
      return 1;
    }
    const povupdate::TrustVerdict verdict =
        povupdate::JudgeUpdateFile(bytes, std::filesystem::path(path).filename().string(), keys,
                                   static_cast<std::int64_t>(std::time(nullptr)));
    if (verdict.trust != povupdate::Trust::kTrusted) {
      problem = path + " is not believed: it " + povupdate::DescribeTrust(verdict);
      return POVUPDATE_UNTRUSTED_UPDATE_FILE;
    }
  }
  document_ = std::make_unique<const IniDocument>(std::move(bytes));
  names_ = WalkIndex(*document_);
  return POVUPDATE_OK;
}

bool UpdateFileEntries::Find(const std::string& name, EntryDownload& download) const {
  for (const std::string& section : names_) {
    if (!povupdate::EqualsIgnoringAsciiCase(section, name)) continue;
    const auto value = [&](const char* key) {
      const std::optional<std::string_view> found = document_->Find(section, key);
      return found ? std::string(found->substr(0, kMaxValue)) : std::string();
    };
    using povupdate::kKeyNames;
    download = {section, value(kKeyNames[povupdate::kDownLoadPath]),
                value(kKeyNames[povupdate::kMd5]), value(povupdate::kSha256Key),
                value(kKeyNames[povupdate::kSize])};
    return true;
  }
  return false;
}

}  // namespace povupdate_cli
