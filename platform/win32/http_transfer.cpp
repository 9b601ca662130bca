#include "platform/win32/http_transfer.h"

#include <windows.h>
#include <winhttp.h>

#include "platform/win32/text.h"

namespace tavro_win32 {
namespace {

// Closes a WinHTTP handle when it goes out of scope.
class HttpHandle {
 public:
  explicit HttpHandle(HINTERNET handle) : handle_(handle) {}
  ~HttpHandle() {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
  }
  HttpHandle(const HttpHandle&) = delete;
  HttpHandle& operator=(const HttpHandle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

// Milliseconds left of timeoutMs since start; 0 once they are spent.
int Remaining(ULONGLONG start, int timeoutMs) {
  const ULONGLONG spent = GetTickCount64() - start;
  return spent >= static_cast<ULONGLONG>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(spent);
}

}  // namespace

HttpResult HttpTransfer(const char* method, const std::string& url, const std::string& body,
                        int timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  HttpResult failed;
  const std::wstring wideUrl = Widen(url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
      parts.dwHostNameLength == 0) {
    return failed;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  HttpHandle session(WinHttpOpen(L"TAVRO/1.5", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return failed;
  // Each step may take the whole time; the reading below keeps the total.
  WinHttpSetTimeouts(session.get(), timeoutMs, timeoutMs, timeoutMs, timeoutMs);
  HttpHandle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) return failed;
  const std::wstring verb = Widen(method);
  HttpHandle request(
      WinHttpOpenRequest(connection.get(), verb.c_str(), path.c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES,
                         parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return failed;
  // The wait for the answer's head has a limit of its own.
  DWORD responseTimeout = static_cast<DWORD>(timeoutMs);
  WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                   sizeof responseTimeout);
  const bool post = verb == L"POST";
  const wchar_t* headers = post ? L"Content-Type: text/plain; charset=utf-8\r\n" : nullptr;
  const DWORD size = static_cast<DWORD>(body.size());
  if (!WinHttpSendRequest(request.get(), post ? headers : WINHTTP_NO_ADDITIONAL_HEADERS,
                          post ? static_cast<DWORD>(-1) : 0,
                          post && size > 0 ? const_cast<char*>(body.data()) : nullptr,
                          post ? size : 0, post ? size : 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return failed;
  }
  DWORD status = 0;
  DWORD statusSize = sizeof status;
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                           WINHTTP_NO_HEADER_INDEX)) {
    return failed;
  }
  HttpResult result;
  for (;;) {
    if (Remaining(start, timeoutMs) == 0) return failed;
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) return failed;
    if (available == 0) break;
    if (result.body.size() + available > kHttpMaxBody) return failed;
    const std::size_t at = result.body.size();
    result.body.resize(at + available);
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), result.body.data() + at, available, &read)) return failed;
    result.body.resize(at + read);
    if (read == 0) break;
  }
  // A connection closed before the length the head announced: no answer.
  DWORD length = 0;
  DWORD lengthSize = sizeof length;
  if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &length, &lengthSize,
                          WINHTTP_NO_HEADER_INDEX) &&
      length != result.body.size()) {
    return failed;
  }
  result.status = static_cast<int>(status);
  return result;
}

}  // namespace tavro_win32
