// One HTTP request carried out with WinHTTP, start to end, on the calling
// thread: the network's worker threads run it (network.cpp).
#pragma once

#include <string>

namespace tavro_win32 {

struct HttpResult {
  int status = 0;  // the HTTP status; 0 when no whole answer came
  std::string body;
};

// The answers kept at most; a longer one counts as none.
constexpr std::size_t kHttpMaxBody = 16u << 20;

// Sends method ("GET" or "POST") to an absolute http:// or https:// url,
// with body as text/plain; charset=utf-8 for a POST, and reads the answer
// whole. Gives up (status 0) when the address is not usable, no connection
// is made, or timeoutMs pass before the answer is read.
HttpResult HttpTransfer(const char* method, const std::string& url, const std::string& body,
                        int timeoutMs);

}  // namespace tavro_win32
