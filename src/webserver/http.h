#pragma once

// One HTTP request as the routes see it and the answer they give, free of the HTTP library: the
// server (http_server.h) fills the one and sends the other.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace parvolin::webserver {

enum class Method { kGet, kHead, kPost, kPut, kDelete, kOther };

struct Request {
  Method method = Method::kGet;
  std::string path;  // as sent, still percent-encoded, without the query
  // The query's parameters, decoded; `queryBad` when it could not be (a bad %-escape, a NUL,
  // a name given twice).
  std::map<std::string, std::string> query;
  bool queryBad = false;
  std::map<std::string, std::string> headers;  // names in lower case
  std::map<std::string, std::string> cookies;
  std::string body;
  std::string address;  // the client's IP address
  bool tls = false;

  // The header `name` (lower case), empty when absent.
  std::string header(std::string_view name) const;
  std::optional<std::string> cookie(std::string_view name) const;
};

// A body made in pieces while it is sent, so that a long one is never held whole in memory.
class BodySource {
 public:
  virtual ~BodySource() = default;
  // Fills `out` from `offset` of the whole body; how many bytes it gave (0: no more, or an error).
  virtual std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

struct Response {
  int status = 200;
  std::string contentType = "application/json; charset=utf-8";
  std::string body;
  // Instead of `body`: `length` bytes of `source` from `offset`.
  std::shared_ptr<BodySource> source;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  bool cacheable = false;  // the built-in assets; everything else is never stored

  void add(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
  }
};

Response jsonResponse(int status, const nlohmann::json& body);
// {"error": text}
Response errorResponse(int status, std::string_view text);
Response redirect(std::string_view location);

// "%2e" and the like decoded; nullopt for a bad escape or a NUL. `plus`: '+' is a space (query).
std::optional<std::string> percentDecode(std::string_view text, bool plus = false);
// The decoded segments of a path ("/api/calls/x" -> api, calls, x); nullopt when a segment
// cannot be decoded, decodes to something holding '/', '\\' or a NUL, or is "." or "..".
std::optional<std::vector<std::string>> pathSegments(std::string_view path);

// The one range of a "Range: bytes=..." header over a body of `size` bytes: nullopt when the
// header is absent, malformed or asks for several ranges (the whole body is then sent);
// `unsatisfiable` when it starts past the end.
struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // included
  bool unsatisfiable = false;
};
std::optional<ByteRange> parseRange(std::string_view header, std::uint64_t size);

// The headers every answer carries.
inline constexpr std::string_view kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "media-src 'self'; connect-src 'self'; form-action 'self'; base-uri 'none'; "
    "frame-ancestors 'none'";

}  // namespace parvolin::webserver
