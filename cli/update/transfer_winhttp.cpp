// Transfers through WinHTTP, the system's own HTTP stack; HTTPS checks the
// server against the system's certificate store and, with --ca-file, the
// authorities of that file besides.
#include "platform/win32.h"
// windows.h first: these need its types.
#include <wincrypt.h>
#include <winhttp.h>

#include <cwchar>
#include <string>
#include <vector>

#include "shared/file_access.h"
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

// The authorities of a --ca-file, trusted besides the system's store.
// WinHTTP is told to let an unknown authority pass, and no other fault of a
// certificate; every server it then reaches is checked here, by the
// system's chain and SSL policy, before any byte of its answer is taken.
class Authorities {
 public:
  Authorities() = default;
  ~Authorities() {
    if (store_ != nullptr) CertCloseStore(store_, 0);
  }
  Authorities(const Authorities&) = delete;
  Authorities& operator=(const Authorities&) = delete;

  // Reads the PEM certificates of `path`; false, with `problem`, when it
  // holds none or anything else.
  bool Read(const std::string& path, std::string& problem);
  // Whether the certificate the server of `request` showed chains to the
  // system's store or to one of these authorities, and names `host`, at
  // this time.
  bool Vouch(HINTERNET request, const std::wstring& host) const;

 private:
  HCERTSTORE store_ = nullptr;
};

bool Authorities::Read(const std::string& path, std::string& problem) {
  constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  std::string text;
  if (!ReadRegularFile(path, text, problem)) {
    problem = "--ca-file " + path + " " + problem;
    return false;
  }
  store_ = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  std::size_t count = 0;
  for (std::size_t at = text.find(kBegin); store_ != nullptr && at != std::string::npos;
       at = text.find(kBegin, at)) {
    const std::size_t end = text.find(kEnd, at);
    if (end == std::string::npos) break;
    const std::string_view block(text.data() + at, end + kEnd.size() - at);
    at = end + kEnd.size();
    DWORD size = 0;
    std::vector<BYTE> der;
    const auto block_size = static_cast<DWORD>(block.size());
    if (CryptStringToBinaryA(block.data(), block_size, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                             nullptr, nullptr)) {
      der.resize(size);
    }
    if (der.empty() ||
        !CryptStringToBinaryA(block.data(), block_size, CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr) ||
        !CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, der.data(), size,
                                          CERT_STORE_ADD_ALWAYS, nullptr)) {
      problem = "--ca-file " + path + " holds a certificate that can't be read";
      return false;
    }
    ++count;
  }
  if (count == 0) problem = "--ca-file " + path + " holds no PEM certificate";
  return count > 0;
}

bool Authorities::Vouch(HINTERNET request, const std::wstring& host) const {
  PCCERT_CONTEXT server = nullptr;
  DWORD size = sizeof server;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) ||
      server == nullptr) {
    return false;
  }
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  const bool built =
      CertGetCertificateChain(nullptr, server, nullptr, store_, &para, 0, nullptr, &chain);
  CertFreeCertificateContext(server);
  if (!built) return false;
  // Trusted by the system, or ending in one of these authorities with no
  // fault but that the system does not know it.
  bool ours = false;
  if (chain->TrustStatus.dwErrorStatus == CERT_TRUST_IS_UNTRUSTED_ROOT && chain->cChain == 1) {
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    const PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    const PCCERT_CONTEXT found =
        CertFindCertificateInStore(store_, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root, nullptr);
    ours = found != nullptr;
    if (found != nullptr) CertFreeCertificateContext(found);
  }
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = ours ? SECURITY_FLAG_IGNORE_UNKNOWN_CA : 0;
  std::wstring name = host;
  ssl.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  const bool vouched =
      (chain->TrustStatus.dwErrorStatus == CERT_TRUST_NO_ERROR || ours) &&
      CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
      status.dwError == 0;
  CertFreeCertificateChain(chain);
  return vouched;
}

// Where a request goes, followed through its redirects, and whether an
// HTTPS server it reached was not vouched for.
struct ServerCheck {
  // Null: the system's store alone, as WinHTTP itself checks it.
  explicit ServerCheck(const Authorities* authorities) : authorities(authorities) {}

  void Follow(const wchar_t* url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    // A redirect to a path alone (Wine passes on the Location as it came)
    // stays with the server it came from.
    if (!WinHttpCrackUrl(url, 0, 0, &parts)) return;
    host.assign(parts.lpszHostName, parts.dwHostNameLength);
    https = parts.nScheme == INTERNET_SCHEME_HTTPS;
  }
  void Check(HINTERNET request) {
    if (authorities != nullptr && https && !authorities->Vouch(request, host)) refused = true;
  }

  const Authorities* authorities;
  std::wstring host;
  bool https = false;
  bool refused = false;
};

// Checks each server a request reaches, the first and every redirect's,
// once its connection is made and before its answer is read.
void CALLBACK CheckServer(HINTERNET request, DWORD_PTR context, DWORD status, LPVOID information,
                          DWORD /*length*/) {
  auto* const check = reinterpret_cast<ServerCheck*>(context);
  if (status == WINHTTP_CALLBACK_STATUS_REDIRECT) {
    check->Follow(static_cast<const wchar_t*>(information));
  } else if (status == WINHTTP_CALLBACK_STATUS_SENDING_REQUEST) {
    check->Check(request);
  }
}

}  // namespace

bool StartTransfers(std::string& /*problem*/) { return true; }

TransferOutcome Transfer(const std::string& url, std::uint64_t offset,
                         const TransferOptions& options, BodyReceiver& receiver) {
  Authorities authorities;
  const bool private_authority = !options.ca_file.empty();
  std::string problem;
  if (private_authority && !authorities.Read(options.ca_file, problem)) {
    return {TransferFailure::kPermanent, problem};
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
  if (private_authority) {
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
  }
  WinHttpSetStatusCallback(request.get(), CheckServer,
                           WINHTTP_CALLBACK_FLAG_SEND_REQUEST | WINHTTP_CALLBACK_FLAG_REDIRECT, 0);
  const std::wstring range = L"Range: bytes=" + std::to_wstring(offset) + L"-";
  if (offset > 0) {
    WinHttpAddRequestHeaders(request.get(), range.c_str(), static_cast<DWORD>(-1),
                             WINHTTP_ADDREQ_FLAG_ADD);
  }
  ServerCheck check(private_authority ? &authorities : nullptr);
  check.Follow(wide_url.c_str());
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                          0, 0, reinterpret_cast<DWORD_PTR>(&check)) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    const DWORD error = GetLastError();
    // Wine refuses a redirect from HTTPS to HTTP so, telling it from too
    // many redirects by nothing.
    if (error == ERROR_WINHTTP_REDIRECT_FAILED && https) {
      return {TransferFailure::kPermanent,
              "a redirect was refused: one may lead from HTTPS only to HTTPS, and at most 5 are "
              "followed"};
    }
    return Failed(error);
  }
  // The server that answered is checked here too, whatever the callback saw.
  check.Check(request.get());
  if (check.refused) {
    return {TransferFailure::kPermanent,
            "the server's certificate is vouched for neither by the system's store nor by "
            "--ca-file " +
                options.ca_file};
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
