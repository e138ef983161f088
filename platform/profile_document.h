// The bytes of one file as a call reads them, parsed by the Windows-faithful
// reader (ini_document.h): what a signed update file is verified and then
// walked from, so that no other version of it can come in between.
#pragma once

#include <memory>

namespace povupdate::backend {

class IniDocument;

enum class FileStatus { kOk, kMissing, kFailed };

// The file at `path` as this call reads it; on Linux the call's own
// snapshot, which every lookup of the call sees too. kMissing when there is
// no such file, kFailed when it can't be read.
FileStatus LoadProfileDocument(const char* path, std::shared_ptr<const IniDocument>& document);

// The same for a key file, which fails closed: kMissing only when the
// system says nothing is there (a dangling link, a directory or a FIFO in
// its place is kFailed).
FileStatus LoadKeyFile(const char* path, std::shared_ptr<const IniDocument>& document);

}  // namespace povupdate::backend
