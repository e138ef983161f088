// The update file as a host checks a download against it: its bytes read
// once, verified where a key applies, and each entry's download keys taken
// from those same bytes as the library reads them, so that no second read
// of a file changed meanwhile can slip in other values.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace povupdate::backend {
class IniDocument;
}

namespace povupdate_cli {

// The entries the library's walk delivers: the values of index keys 1, 2,
// ... up to the first missing or empty one, each cut as the library's read
// cuts it.
std::vector<std::string> WalkIndex(const povupdate::backend::IniDocument& file);

// The public key file that applies: `key` when given, else PovUpdate.pub in
// the host's directory when anything is there under that name (a damaged or
// dangling one refuses, as it does for the library); "" when none.
std::string ApplicableKeyFile(const std::string& key);

// What an entry says its download is, cut as the library's reads cut it.
struct EntryDownload {
  std::string name;  // as the index names it
  std::string url;
  std::string md5;
  std::string sha256;
  std::string size;
};

class UpdateFileEntries {
 public:
  UpdateFileEntries();
  ~UpdateFileEntries();
  UpdateFileEntries(const UpdateFileEntries&) = delete;
  UpdateFileEntries& operator=(const UpdateFileEntries&) = delete;

  // Reads the update file at `path` once; where a key applies (see
  // ApplicableKeyFile) its bytes must verify under it. POVUPDATE_OK; 1 when
  // the file or the key file can't be read; POVUPDATE_UNTRUSTED_UPDATE_FILE
  // when the bytes don't verify. `problem` says why.
  int Read(const std::string& path, const std::string& key, std::string& problem);

  // The download of the entry the walk delivers as `name` (any case), the
  // first of that name; false when it delivers none.
  bool Find(const std::string& name, EntryDownload& download) const;

 private:
  std::unique_ptr<const povupdate::backend::IniDocument> document_;
  std::vector<std::string> names_;
};

}  // namespace povupdate_cli
