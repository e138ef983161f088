// Files povupdate reads whole or digests: regular files only, so that a FIFO,
// a device or a directory in a file's place is reported, not waited on.
#pragma once

#include <cstdint>
#include <string>

namespace povupdate_cli {

// False, with `problem` saying why, when `path` is no regular file or can't
// be read.
bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& problem);

// The MD5 of a regular file as 32 lower-case hexadecimal digits, and its size.
bool DigestRegularFile(const std::string& path, std::string& md5, std::uint64_t& size,
                       std::string& problem);
// The same with its SHA-256 as 64 lower-case hexadecimal digits.
bool DigestRegularFile(const std::string& path, std::string& md5, std::string& sha256,
                       std::uint64_t& size, std::string& problem);

}  // namespace povupdate_cli
