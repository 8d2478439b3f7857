#pragma once

// The HTTP server under lvsvr's routes: libmicrohttpd with a thread per connection, bounded in
// connections (in all and per client address), in the memory of a request's headers, in a
// request's body and in idle time, so that slow or greedy clients cannot keep others out.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "webserver/http.h"

struct MHD_Daemon;

namespace parvolin::webserver {

struct ServerLimits {
  unsigned connections = 512;            // in all
  unsigned connectionsPerAddress = 64;   // from one client address
  unsigned idleSeconds = 10;             // a connection quiet this long is closed
  std::size_t headerMemory = 32 * 1024;  // a request's line and headers; more: 431
  std::size_t bodyBytes = 16 * 1024;     // a request's body; more: 413
};

struct ServerOptions {
  std::string address = "127.0.0.1";  // IPv4 or IPv6 (without brackets)
  std::uint16_t port = 8480;          // 0: any free port (see HttpServer::port)
  // PEM text of the certificate and its key: HTTPS when both are given.
  std::optional<std::string> tlsCertificate, tlsKey;
  ServerLimits limits;
};

class HttpServer {
 public:
  using Handler = std::function<Response(const Request&)>;

  // Listens and serves `handler` on threads of its own until destroyed. Nullptr, with `why`
  // set, when it cannot listen.
  [[nodiscard]] static std::unique_ptr<HttpServer> start(const ServerOptions& options,
                                                         Handler handler, std::string& why);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  bool tls() const { return tls_; }

 private:
  HttpServer() = default;
  friend struct ServerAccess;

  Handler handler_;
  ServerOptions options_;
  MHD_Daemon* daemon_ = nullptr;
  std::uint16_t port_ = 0;
  bool tls_ = false;
};

// "ADDR:PORT" or "[V6ADDR]:PORT" into the options; why it is not one otherwise.
[[nodiscard]] std::optional<std::string> parseListenProblem(std::string_view text,
                                                            ServerOptions& options);
// Whether `address` is one of this machine's own (127.0.0.0/8, ::1): the only ones served
// without TLS without a warning.
bool isLoopback(std::string_view address);

}  // namespace parvolin::webserver
