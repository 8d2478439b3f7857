#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include <nlohmann/json.hpp>

namespace parvolin::test {

int connectTo(std::uint16_t port, const std::string& from) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

namespace {

bool sendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

void parseHead(std::string_view head, HttpReply& reply) {
  const std::size_t lineEnd = head.find("\r\n");
  const std::string_view status = head.substr(0, lineEnd);
  if (status.size() >= 12 && status.starts_with("HTTP/1.")) {
    reply.status = std::atoi(std::string(status.substr(9, 3)).c_str());
  }
  std::size_t at = lineEnd + 2;
  while (lineEnd != std::string_view::npos && at < head.size()) {
    const std::size_t end = std::min(head.find("\r\n", at), head.size());
    const std::string_view line = head.substr(at, end - at);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
      std::string value(line.substr(colon + 1));
      value.erase(0, value.find_first_not_of(' '));
      reply.headers[lower(std::string(line.substr(0, colon)))] = value;
    }
    at = end + 2;
  }
}

// Takes chunked framing off `raw` as far as it is complete.
std::string unchunk(std::string_view raw) {
  std::string out;
  std::size_t at = 0;
  while (at < raw.size()) {
    const std::size_t end = raw.find("\r\n", at);
    if (end == std::string_view::npos) break;
    const std::size_t size = std::stoul(std::string(raw.substr(at, end - at)), nullptr, 16);
    if (size == 0) break;
    out.append(raw.substr(end + 2, size));
    at = end + 2 + size + 2;
  }
  return out;
}

}  // namespace

HttpReply exchange(std::uint16_t port, std::string_view raw, std::chrono::milliseconds timeout,
                   const std::function<void(std::string_view)>& sink, const std::string& from) {
  HttpReply reply;
  const int fd = connectTo(port, from);
  if (fd < 0) return reply;
  sendAll(fd, raw);  // a server that answers early may close before all was sent
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string head;
  std::string body;
  bool inBody = false;
  bool chunked = false;
  char buffer[64 * 1024];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    std::string_view got(buffer, static_cast<std::size_t>(n));
    if (!inBody) {
      head.append(got);
      const std::size_t end = head.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      got = std::string_view(head).substr(end + 4);
      parseHead(std::string_view(head).substr(0, end), reply);
      chunked = lower(reply.header("transfer-encoding")) == "chunked";
      inBody = true;
      std::string rest(got);
      head.resize(end);
      if (sink && !chunked) {
        sink(rest);
      } else {
        body.append(rest);
      }
      continue;
    }
    if (sink && !chunked) {
      sink(got);
    } else {
      body.append(got);
    }
  }
  ::close(fd);
  if (chunked) body = unchunk(body);
  if (sink && chunked) sink(body);
  reply.body = sink ? std::string() : body;
  return reply;
}

std::string requestText(std::string_view method, std::string_view target,
                        const std::vector<std::pair<std::string, std::string>>& headers,
                        std::string_view body) {
  std::string text = std::string(method) + " " + std::string(target) + " HTTP/1.1\r\n";
  text += "Host: 127.0.0.1\r\nConnection: close\r\n";
  for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
  if (!body.empty() || method == "POST" || method == "PUT") {
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  text += "\r\n";
  text += body;
  return text;
}

HttpReply WebClient::login(const std::string& name, const std::string& password) {
  cookie.clear();
  csrf.clear();
  const std::string body = nlohmann::json{{"name", name}, {"password", password}}.dump();
  HttpReply reply = exchange(
      port_, requestText("POST", "/api/login", {{"Content-Type", "application/json"}}, body),
      std::chrono::seconds(20), {}, from_);
  const std::string set = reply.header("set-cookie");
  cookie = set.substr(0, set.find(';'));
  const auto json = nlohmann::json::parse(reply.body, nullptr, false);
  if (json.is_object() && json.contains("csrf")) csrf = json["csrf"].get<std::string>();
  return reply;
}

HttpReply WebClient::get(const std::string& target,
                         std::vector<std::pair<std::string, std::string>> headers,
                         const std::function<void(std::string_view)>& sink) {
  if (!cookie.empty()) headers.emplace_back("Cookie", cookie);
  return exchange(port_, requestText("GET", target, headers), std::chrono::seconds(60), sink,
                  from_);
}

HttpReply WebClient::send(const std::string& method, const std::string& target,
                          const std::string& body,
                          std::vector<std::pair<std::string, std::string>> headers) {
  if (!cookie.empty()) headers.emplace_back("Cookie", cookie);
  if (!csrf.empty()) headers.emplace_back("X-CSRF-Token", csrf);
  const bool typed = std::any_of(headers.begin(), headers.end(),
                                 [](const auto& header) { return header.first == "Content-Type"; });
  if (!body.empty() && !typed) headers.emplace_back("Content-Type", "application/json");
  return exchange(port_, requestText(method, target, headers, body), std::chrono::seconds(60), {},
                  from_);
}

}  // namespace parvolin::test
