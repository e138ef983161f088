// The properties the fuzz targets check, one function per target. Each runs
// one input and returns "" when every property holds, else what failed; the
// files it needs go into `directory`. A failing input becomes a regression
// test by running it through the same function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace povupdate::fuzz {

// GetPrivateProfileStringA with any file, names and buffer size.
std::string CheckProfileRead(const std::uint8_t* data, std::size_t size,
                             const std::string& directory);

// WritePrivateProfileStringA of a name that can round-trip into any file.
std::string CheckProfileWrite(const std::uint8_t* data, std::size_t size,
                              const std::string& directory);

// A whole walk of the update list and local lookups through the exports.
// `directory` must be the module directory (POVUPDATE_MODULE_DIR) with the
// system version 6.1 (POVUPDATE_OS_VERSION).
std::string CheckWalk(const std::uint8_t* data, std::size_t size, const std::string& directory);

// A key file and an update file's signature, judged as the library does.
std::string CheckSignature(const std::uint8_t* data, std::size_t size);

// UpdateLocalSoftwareInforToIni with any name and version into any local
// configuration file, read back through GetTheLocalSoftwareInforFromIni.
// `directory` must be set up as for CheckWalk.
std::string CheckLocalWrite(const std::uint8_t* data, std::size_t size,
                            const std::string& directory);

// The registry store's file parser and serialiser.
std::string CheckRegistryFile(const std::uint8_t* data, std::size_t size);

}  // namespace povupdate::fuzz
