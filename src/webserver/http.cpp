#include "webserver/http.h"

#include <algorithm>
#include <charconv>

#include <nlohmann/json.hpp>

namespace parvolin::webserver {

std::string Request::header(std::string_view name) const {
  const auto found = headers.find(std::string(name));
  return found == headers.end() ? std::string() : found->second;
}

std::optional<std::string> Request::cookie(std::string_view name) const {
  const auto found = cookies.find(std::string(name));
  if (found == cookies.end()) return std::nullopt;
  return found->second;
}

Response jsonResponse(int status, const nlohmann::json& body) {
  Response response;
  response.status = status;
  // Text that is not UTF-8 (a list's bytes) is replaced, never thrown over.
  response.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return response;
}

Response errorResponse(int status, std::string_view text) {
  return jsonResponse(status, nlohmann::json{{"error", text}});
}

Response redirect(std::string_view location) {
  Response response;
  response.status = 303;
  response.contentType = "text/plain; charset=utf-8";
  response.add("Location", std::string(location));
  return response;
}

namespace {
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<std::string> percentDecode(std::string_view text, bool plus) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = hexValue(text[i + 1]);
      const int low = hexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c == '+' && plus) {
      c = ' ';
    }
    if (c == '\0') return std::nullopt;
    out.push_back(c);
  }
  return out;
}

std::optional<std::vector<std::string>> pathSegments(std::string_view path) {
  std::vector<std::string> segments;
  if (path.empty() || path.front() != '/') return std::nullopt;
  std::size_t at = 1;
  while (at <= path.size()) {
    const std::size_t end = std::min(path.find('/', at), path.size());
    const auto decoded = percentDecode(path.substr(at, end - at));
    if (!decoded || decoded->find_first_of("/\\") != std::string::npos || *decoded == "." ||
        *decoded == "..") {
      return std::nullopt;
    }
    segments.push_back(*decoded);
    at = end + 1;
  }
  // "/" is no segment; "/calls/" ends in an empty one, which no route has.
  if (segments.size() == 1 && segments.front().empty()) segments.clear();
  return segments;
}

std::optional<ByteRange> parseRange(std::string_view header, std::uint64_t size) {
  constexpr std::string_view kUnit = "bytes=";
  if (!header.starts_with(kUnit)) return std::nullopt;
  const std::string_view bounds = header.substr(kUnit.size());
  const std::size_t dash = bounds.find('-');
  if (dash == std::string_view::npos || bounds.find(',') != std::string_view::npos) {
    return std::nullopt;
  }
  auto number = [](std::string_view text) -> std::optional<std::uint64_t> {
    std::uint64_t value = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
  };
  const std::string_view firstText = bounds.substr(0, dash);
  const std::string_view lastText = bounds.substr(dash + 1);
  ByteRange range;
  if (firstText.empty()) {  // the last N bytes
    const auto suffix = number(lastText);
    if (!suffix) return std::nullopt;
    if (*suffix == 0 || size == 0) return ByteRange{0, 0, true};
    range.first = size - std::min(*suffix, size);
    range.last = size - 1;
    return range;
  }
  const auto first = number(firstText);
  if (!first) return std::nullopt;
  std::uint64_t last = size == 0 ? 0 : size - 1;
  if (!lastText.empty()) {
    const auto given = number(lastText);
    if (!given || *given < *first) return std::nullopt;
    last = std::min(*given, last);
  }
  if (*first >= size) return ByteRange{0, 0, true};
  return ByteRange{*first, last, false};
}

}  // namespace parvolin::webserver
