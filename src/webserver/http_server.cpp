#include "webserver/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace parvolin::webserver {

namespace {

// What one request collects between the library's calls: its body, and the answer given early
// when the body is refused.
struct RequestState {
  std::string body;
  bool tooLarge = false;
};

std::string lowerCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

Method methodOf(std::string_view name) {
  if (name == "GET") return Method::kGet;
  if (name == "HEAD") return Method::kHead;
  if (name == "POST") return Method::kPost;
  if (name == "PUT") return Method::kPut;
  if (name == "DELETE") return Method::kDelete;
  return Method::kOther;
}

// The library decodes nothing: the routes decode the path and the query themselves, strictly, so
// that "%2f" or "%00" never turn into a different path.
std::size_t keepEscapes(void*, MHD_Connection*, char* text) {
  return std::strlen(text);
}

void logLibrary(void*, const char* format, va_list args) {
  std::fputs("lvsvr: http: ", stderr);
  std::vfprintf(stderr, format, args);
}

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto& headers = *static_cast<std::map<std::string, std::string>*>(cls);
  headers[lowerCase(key)] = value ? value : "";
  return MHD_YES;
}

MHD_Result collectCookie(void* cls, MHD_ValueKind, const char* key, const char* value) {
  static_cast<std::map<std::string, std::string>*>(cls)->emplace(key, value ? value : "");
  return MHD_YES;
}

MHD_Result collectQuery(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto& request = *static_cast<Request*>(cls);
  const auto name = percentDecode(key, true);
  const auto text = percentDecode(value ? value : "", true);
  if (!name || !text || !request.query.emplace(*name, *text).second) request.queryBad = true;
  return MHD_YES;
}

std::string clientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr) return "unknown";
  char text[INET6_ADDRSTRLEN] = {};
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  }
  return text[0] ? text : "unknown";
}

struct SourceReader {
  std::shared_ptr<BodySource> source;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

ssize_t readSource(void* cls, std::uint64_t position, char* buffer, std::size_t max) {
  auto& reader = *static_cast<SourceReader*>(cls);
  if (position >= reader.length) return MHD_CONTENT_READER_END_OF_STREAM;
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(max, reader.length - position));
  const std::size_t got = reader.source->read(reader.offset + position,
                                              {reinterpret_cast<std::uint8_t*>(buffer), want});
  if (got == 0) return MHD_CONTENT_READER_END_WITH_ERROR;
  return static_cast<ssize_t>(got);
}

void freeSource(void* cls) {
  delete static_cast<SourceReader*>(cls);
}

MHD_Response* makeResponse(Response& answer) {
  MHD_Response* response = nullptr;
  if (answer.source) {
    auto* reader = new SourceReader{answer.source, answer.offset, answer.length};
    response =
        MHD_create_response_from_callback(answer.length, 64 * 1024, readSource, reader, freeSource);
    if (!response) delete reader;
  } else {
    response = MHD_create_response_from_buffer(answer.body.size(), answer.body.data(),
                                               MHD_RESPMEM_MUST_COPY);
  }
  if (!response) return nullptr;
  MHD_add_response_header(response, "Content-Type", answer.contentType.c_str());
  MHD_add_response_header(response, "Content-Security-Policy",
                          std::string(kContentSecurityPolicy).c_str());
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
  MHD_add_response_header(response, "X-Frame-Options", "DENY");
  MHD_add_response_header(response, "Cache-Control",
                          answer.cacheable ? "private, max-age=3600" : "no-store");
  for (const auto& [name, value] : answer.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
  }
  return response;
}

MHD_Result send(MHD_Connection* connection, Response answer) {
  MHD_Response* response = makeResponse(answer);
  if (!response) return MHD_NO;
  const MHD_Result result =
      MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
  MHD_destroy_response(response);
  return result;
}

MHD_Result tooLarge(MHD_Connection* connection) {
  Response refused = errorResponse(413, "The request is too large.");
  refused.add("Connection", "close");
  return send(connection, std::move(refused));
}

void requestDone(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
  delete static_cast<RequestState*>(*state);
  *state = nullptr;
}

}  // namespace

struct ServerAccess {
  static MHD_Result handle(void* cls, MHD_Connection* connection, const char* url,
                           const char* method, const char*, const char* upload,
                           std::size_t* uploadSize, void** state) {
    auto& server = *static_cast<HttpServer*>(cls);
    const std::size_t bodyLimit = server.options_.limits.bodyBytes;
    if (*state == nullptr) {
      auto* fresh = new RequestState;
      *state = fresh;
      const char* length =
          MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
      // Refused before the body is read: the connection is closed after the answer.
      if (length && std::strtoull(length, nullptr, 10) > bodyLimit) {
        fresh->tooLarge = true;
        return tooLarge(connection);
      }
      return MHD_YES;
    }
    auto& request = *static_cast<RequestState*>(*state);
    if (request.tooLarge) {
      *uploadSize = 0;  // the answer is on its way; what still comes is dropped
      return MHD_YES;
    }
    if (*uploadSize != 0) {
      if (request.body.size() + *uploadSize > bodyLimit) {
        request.tooLarge = true;
        request.body.clear();
        *uploadSize = 0;
        return tooLarge(connection);
      }
      request.body.append(upload, *uploadSize);
      *uploadSize = 0;
      return MHD_YES;
    }
    Request incoming;
    incoming.method = methodOf(method);
    incoming.path = url;
    incoming.body = std::move(request.body);
    incoming.address = clientAddress(connection);
    incoming.tls = server.tls_;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &incoming.headers);
    MHD_get_connection_values(connection, MHD_COOKIE_KIND, collectCookie, &incoming.cookies);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collectQuery, &incoming);
    Response answer;
    try {
      answer = server.handler_(incoming);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "lvsvr: %s %s: %s\n", method, url, error.what());
      answer = errorResponse(500, "The server failed.");
    }
    return send(connection, std::move(answer));
  }
};

std::unique_ptr<HttpServer> HttpServer::start(const ServerOptions& options, Handler handler,
                                              std::string& why) {
  std::unique_ptr<HttpServer> server(new HttpServer);
  server->handler_ = std::move(handler);
  server->options_ = options;
  sockaddr_storage storage{};
  unsigned flags =
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_ERROR_LOG;
  if (options.address.find(':') != std::string::npos) {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(storage);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(options.port);
    if (inet_pton(AF_INET6, options.address.c_str(), &v6.sin6_addr) != 1) {
      why = options.address + ": not an IP address";
      return nullptr;
    }
    flags |= MHD_USE_IPv6;
  } else {
    auto& v4 = reinterpret_cast<sockaddr_in&>(storage);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(options.port);
    if (inet_pton(AF_INET, options.address.c_str(), &v4.sin_addr) != 1) {
      why = options.address + ": not an IP address";
      return nullptr;
    }
  }
  server->tls_ = options.tlsCertificate && options.tlsKey;
  if (server->tls_) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
      why = "this build of libmicrohttpd has no TLS";
      return nullptr;
    }
    flags |= MHD_USE_TLS;
  }
  const ServerLimits& limits = options.limits;
  // The key and certificate must outlive the start; the library copies what it needs.
  const char* key = server->tls_ ? options.tlsKey->c_str() : nullptr;
  const char* certificate = server->tls_ ? options.tlsCertificate->c_str() : nullptr;
  MHD_OptionItem tlsOptions[] = {
      {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(key)},
      {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(certificate)},
      {MHD_OPTION_END, 0, nullptr},
  };
  if (!server->tls_) tlsOptions[0] = {MHD_OPTION_END, 0, nullptr};
  server->daemon_ = MHD_start_daemon(
      flags, 0, nullptr, nullptr, &ServerAccess::handle, server.get(), MHD_OPTION_EXTERNAL_LOGGER,
      &logLibrary, nullptr, MHD_OPTION_SOCK_ADDR, &storage, MHD_OPTION_CONNECTION_LIMIT,
      limits.connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.connectionsPerAddress,
      MHD_OPTION_CONNECTION_TIMEOUT, limits.idleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
      limits.headerMemory, MHD_OPTION_THREAD_STACK_SIZE, std::size_t{512 * 1024},
      MHD_OPTION_UNESCAPE_CALLBACK, &keepEscapes, nullptr, MHD_OPTION_NOTIFY_COMPLETED,
      &requestDone, nullptr, MHD_OPTION_LISTENING_ADDRESS_REUSE, 1u, MHD_OPTION_ARRAY, tlsOptions,
      MHD_OPTION_END);
  if (!server->daemon_) {
    why = "cannot listen on " + options.address + ":" + std::to_string(options.port);
    return nullptr;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(server->daemon_, MHD_DAEMON_INFO_BIND_PORT);
  server->port_ = info ? info->port : options.port;
  return server;
}

HttpServer::~HttpServer() {
  if (daemon_) MHD_stop_daemon(daemon_);
}

std::optional<std::string> parseListenProblem(std::string_view text, ServerOptions& options) {
  std::string_view host;
  std::string_view port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find("]:");
    if (close == std::string_view::npos) return "expected [ADDRESS]:PORT";
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return "expected ADDRESS:PORT";
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) return "an IPv6 address goes in brackets";
  }
  if (port.empty() || port.size() > 5 ||
      !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return "the port must be a number from 0 to 65535";
  }
  const unsigned long number = std::stoul(std::string(port));
  if (number > 65535) return "the port must be a number from 0 to 65535";
  unsigned char buffer[sizeof(in6_addr)];
  const std::string address(host);
  const int family = address.find(':') != std::string::npos ? AF_INET6 : AF_INET;
  if (inet_pton(family, address.c_str(), buffer) != 1) return address + " is not an IP address";
  options.address = address;
  options.port = static_cast<std::uint16_t>(number);
  return std::nullopt;
}

bool isLoopback(std::string_view address) {
  return address.starts_with("127.") || address == "::1";
}

}  // namespace parvolin::webserver
