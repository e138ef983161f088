// Transfers through WinHTTP, the system's own HTTP stack; HTTPS checks the
// server against the system's certificate store.
#include "platform/win32.h"
// windows.h first: winhttp.h needs its types.
#include <winhttp.h>

#include <cwchar>
#include <string>
#include <vector>

#include "update/transfer.h"

namespace povupdate_cli {
namespace {

constexpr DWORD kMaxRedirects = 5;
constexpr DWORD kBlock = 64 * 1024;
constexpr long kMilliseconds = 1000;

class Handle {
 public:
  explicit Handle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
  wide.resize(wide.size() - 1);
  return wide;
}

std::string Describe(DWORD error) {
  char text[512] = "";
  const HMODULE module = GetModuleHandleW(L"winhttp.dll");
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
      module, error, 0, text, sizeof text, nullptr);
  std::string message = length > 0 ? std::string(text, length) : "";
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return (message.empty() ? "WinHTTP error" : message) + " (" + std::to_string(error) + ")";
}

TransferOutcome Failed(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    // Wine's WinHTTP passes on the socket's own codes.
    case WSAETIMEDOUT:
    case WSAECONNRESET:
    case WSAECONNABORTED:
      return {TransferFailure::kTransient, Describe(error)};
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return {TransferFailure::kPermanent, "more than 5 redirects"};
    default:
      return {TransferFailure::kPermanent, Describe(error)};
  }
}

// A header's text; "" when the response has none.
std::wstring Header(HINTERNET request, DWORD query) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return L"";
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return L"";
  }
  return text.data();
}

Response ReadResponse(HINTERNET request) {
  Response response;
  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  response.status = static_cast<long>(status);
  const std::wstring length = Header(request, WINHTTP_QUERY_CONTENT_LENGTH);
  if (!length.empty()) {
    response.has_length = true;
    response.length = std::wcstoull(length.c_str(), nullptr, 10);
  }
  // "bytes FIRST-LAST/TOTAL"
  const std::wstring range = Header(request, WINHTTP_QUERY_CONTENT_RANGE);
  const std::size_t digits = range.find_first_of(L"0123456789");
  if (digits != std::wstring::npos && range.find(L"bytes") < digits) {
    response.has_range = true;
    response.range_start = std::wcstoull(range.c_str() + digits, nullptr, 10);
  }
  return response;
}

}  // namespace

bool StartTransfers(std::string& /*problem*/) { return true; }

TransferOutcome Transfer(const std::string& url, std::uint64_t offset,
                         const TransferOptions& options, BodyReceiver& receiver) {
  if (!options.ca_file.empty()) {
    return {TransferFailure::kPermanent,
            "--ca-file is not taken on Windows: add the authority to the system's store"};
  }
  const std::wstring wide_url = Wide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide_url.c_str(), 0, 0, &parts)) return Failed(GetLastError());
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                            std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  const bool https = parts.nScheme == INTERNET_SCHEME_HTTPS;

  const Handle session(WinHttpOpen(L"povupdate", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.get() == nullptr) return Failed(GetLastError());
  const int connect = static_cast<int>(options.connect_timeout * kMilliseconds);
  const int stall = static_cast<int>(options.stall_timeout * kMilliseconds);
  WinHttpSetTimeouts(session.get(), connect, connect, stall, stall);
  const Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (connection.get() == nullptr) return Failed(GetLastError());
  const Handle request(WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          https ? WINHTTP_FLAG_SECURE : 0));
  if (request.get() == nullptr) return Failed(GetLastError());
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
  DWORD redirects = kMaxRedirects;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects,
                   sizeof redirects);
  const std::wstring range = L"Range: bytes=" + std::to_wstring(offset) + L"-";
  if (offset > 0) {
    WinHttpAddRequestHeaders(request.get(), range.c_str(), static_cast<DWORD>(-1),
                             WINHTTP_ADDREQ_FLAG_ADD);
  }
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                          0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return Failed(GetLastError());
  }
  const Response response = ReadResponse(request.get());
  if (response.status >= 300 && response.status < 400) {
    // WinHTTP hands back a redirect its policy refused to follow.
    return {TransferFailure::kPermanent,
            https ? "a redirect may lead from HTTPS only to HTTPS" : "more than 5 redirects"};
  }
  if (!receiver.Begin(response)) return {TransferFailure::kStopped, ""};
  std::vector<char> block(kBlock);
  for (;;) {
    DWORD got = 0;
    if (!WinHttpReadData(request.get(), block.data(), kBlock, &got)) return Failed(GetLastError());
    // The end of data, or a cut connection: WinHTTP tells them apart by
    // nothing, so the receiver counts the bytes.
    if (got == 0) return {};
    if (!receiver.Receive(block.data(), got)) return {TransferFailure::kStopped, ""};
  }
}

}  // namespace povupdate_cli
