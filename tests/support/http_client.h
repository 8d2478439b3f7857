#pragma once

// A small HTTP/1.1 client on plain sockets for the web server's tests: the test controls every
// byte it sends (bad escapes, NUL bytes, huge headers, a request sent slowly).

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parvolin::test {

struct HttpReply {
  int status = 0;  // 0: no answer (the connection closed or timed out first)
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  std::string header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
  }
};

// A connected TCP socket to 127.0.0.1:`port` from `from` (any 127.x.y.z: several client
// addresses on one machine); -1 when it cannot connect.
int connectTo(std::uint16_t port, const std::string& from = "127.0.0.1");

// Sends `raw` as it is on a new connection and reads the answer until the server closes or
// `timeout` passes. The body goes to `sink` instead of the reply when one is given.
HttpReply exchange(std::uint16_t port, std::string_view raw,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20),
                   const std::function<void(std::string_view)>& sink = {},
                   const std::string& from = "127.0.0.1");

// A request as a browser would send it, with "Connection: close".
std::string requestText(std::string_view method, std::string_view target,
                        const std::vector<std::pair<std::string, std::string>>& headers = {},
                        std::string_view body = {});

// A browser's session: the cookie and CSRF token of its log-in go with every request.
class WebClient {
 public:
  explicit WebClient(std::uint16_t port, std::string from = "127.0.0.1")
      : port_(port), from_(std::move(from)) {}

  HttpReply login(const std::string& name, const std::string& password);
  HttpReply get(const std::string& target,
                std::vector<std::pair<std::string, std::string>> headers = {},
                const std::function<void(std::string_view)>& sink = {});
  HttpReply send(const std::string& method, const std::string& target, const std::string& body,
                 std::vector<std::pair<std::string, std::string>> headers = {});

  std::string cookie;  // "pvsession=..." or empty
  std::string csrf;

 private:
  std::uint16_t port_;
  std::string from_;
};

}  // namespace parvolin::test
