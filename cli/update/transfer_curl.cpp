// Transfers through libcurl; HTTPS through OpenSSL, with the system's store
// and, with --ca-file, a private authority added to it.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "update/transfer.h"

namespace povupdate_cli {
namespace {

constexpr long kMaxRedirects = 5;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

// What one request has seen so far. Headers of every response arrive,
// redirects' too: each status line starts the record afresh.
struct Exchange {
  CURL* curl = nullptr;
  BodyReceiver* receiver = nullptr;
  Response response;
  bool begun = false;
  bool stopped = false;

  bool BeginOnce() {
    if (begun) return !stopped;
    begun = true;
    curl_off_t length = -1;
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    response.status = status;
    response.has_length = length >= 0;
    response.length = length >= 0 ? static_cast<std::uint64_t>(length) : 0;
    stopped = !receiver->Begin(response);
    return !stopped;
  }
};

std::size_t TakeHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const std::string_view line(data, size * count);
  if (StartsWithIgnoringCase(line, "HTTP/")) {
    exchange.response.has_range = false;
  } else if (StartsWithIgnoringCase(line, "content-range:")) {
    // "Content-Range: bytes FIRST-LAST/TOTAL"
    const std::string text(line.substr(std::strlen("content-range:")));
    const std::size_t digits = text.find_first_of("0123456789");
    if (digits != std::string::npos && text.find("bytes") < digits) {
      exchange.response.has_range = true;
      exchange.response.range_start = std::strtoull(text.c_str() + digits, nullptr, 10);
    }
  }
  return size * count;
}

std::size_t TakeBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  if (!exchange.BeginOnce()) return 0;
  if (!exchange.receiver->Receive(data, size * count)) {
    exchange.stopped = true;
    return 0;
  }
  return size * count;
}

// Adds the --ca-file authorities to the store OpenSSL already has.
CURLcode AddAuthorities(CURL* /*curl*/, void* ssl_context, void* user) {
  const auto* file = static_cast<const std::string*>(user);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(ssl_context));
  return X509_STORE_load_file(store, file->c_str()) == 1 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

TransferFailure Classify(CURLcode code) {
  switch (code) {
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return TransferFailure::kTransient;
    default:
      return TransferFailure::kPermanent;
  }
}

struct CurlFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

}  // namespace

bool StartTransfers(std::string& problem) {
  if (curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) return true;
  problem = "libcurl can't be started";
  return false;
}

TransferOutcome Transfer(const std::string& url, std::uint64_t offset,
                         const TransferOptions& options, BodyReceiver& receiver) {
  const std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
  if (curl == nullptr) return {TransferFailure::kPermanent, "libcurl can't be started"};
  Exchange exchange;
  exchange.curl = curl.get();
  exchange.receiver = &receiver;
  char error[CURL_ERROR_SIZE] = "";
  const bool https = StartsWithIgnoringCase(url, "https:");
  const std::string range = std::to_string(offset) + "-";
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, options.connect_timeout);
  // Stalled: under one byte a second for the whole stall time.
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, options.stall_timeout);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "povupdate");
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, TakeHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, TakeBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &exchange);
  // The bytes as sent: a digest is of the file, not of a decoded stream.
  curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, nullptr);
  if (offset > 0) curl_easy_setopt(c, CURLOPT_RANGE, range.c_str());
  if (!options.ca_file.empty()) {
    curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, AddAuthorities);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, &options.ca_file);
  }
  const CURLcode code = curl_easy_perform(c);
  if (exchange.stopped) return {TransferFailure::kStopped, ""};
  if (code == CURLE_OK) {
    // An empty body calls no write function.
    if (!exchange.BeginOnce()) return {TransferFailure::kStopped, ""};
    return {};
  }
  if (code == CURLE_UNSUPPORTED_PROTOCOL && https) {
    return {TransferFailure::kPermanent, "a redirect may lead from HTTPS only to HTTPS"};
  }
  if (code == CURLE_TOO_MANY_REDIRECTS) {
    return {TransferFailure::kPermanent, "more than 5 redirects"};
  }
  return {Classify(code), error[0] != '\0' ? error : curl_easy_strerror(code)};
}

}  // namespace povupdate_cli
