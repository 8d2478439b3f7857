// The HTTP edge of lvsvr: strict decoding of paths and queries, ranges, listen addresses, and the
// server's body limit, on a bare server that echoes what it was given.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/http_client.h"
#include "webserver/http.h"
#include "webserver/http_server.h"

namespace parvolin::webserver {
namespace {

using parvolin::test::exchange;
using parvolin::test::requestText;

TEST(HttpParts, PathsAreDecodedSegmentBySegmentAndNeverLeaveTheirSegment) {
  struct Case {
    std::string path;
    std::optional<std::vector<std::string>> segments;
  };
  const std::vector<Case> cases = {
      {"/", std::vector<std::string>{}},
      {"/api/calls", std::vector<std::string>{"api", "calls"}},
      {"/assets/site%2ecss", std::vector<std::string>{"assets", "site.css"}},
      {"/a%20b", std::vector<std::string>{"a b"}},
      {"/calls/", std::vector<std::string>{"calls", ""}},
      {"/assets/%2e%2e%2fusers", std::nullopt},
      {"/assets/..", std::nullopt},
      {"/assets/%2E%2E", std::nullopt},
      {"/assets/.", std::nullopt},
      {"/assets/a%5cb", std::nullopt},
      {"/assets/a%00b", std::nullopt},
      {"/assets/a%0", std::nullopt},
      {"/assets/a%zz", std::nullopt},
      {"assets", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(pathSegments(c.path), c.segments) << c.path;
  EXPECT_EQ(percentDecode("a+b", true), "a b");
  EXPECT_EQ(percentDecode("a+b"), "a+b");
  EXPECT_EQ(percentDecode("%41%62"), "Ab");
}

TEST(HttpParts, OneRangeIsTakenSeveralOrBadOnesMeanTheWholeBody) {
  struct Case {
    std::string header;
    std::optional<ByteRange> range;
  };
  const std::vector<Case> cases = {
      {"", std::nullopt},
      {"bytes=0-9", ByteRange{0, 9, false}},
      {"bytes=10-", ByteRange{10, 99, false}},
      {"bytes=90-500", ByteRange{90, 99, false}},
      {"bytes=-5", ByteRange{95, 99, false}},
      {"bytes=-500", ByteRange{0, 99, false}},
      {"bytes=100-", ByteRange{0, 0, true}},
      {"bytes=-0", ByteRange{0, 0, true}},
      {"bytes=9-3", std::nullopt},
      {"bytes=0-1,4-5", std::nullopt},
      {"bytes=x-5", std::nullopt},
      {"bytes=5", std::nullopt},
      {"items=0-5", std::nullopt},
      {"bytes=18446744073709551616-", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto range = parseRange(c.header, 100);
    ASSERT_EQ(range.has_value(), c.range.has_value()) << c.header;
    if (range) {
      EXPECT_EQ(range->first, c.range->first) << c.header;
      EXPECT_EQ(range->last, c.range->last) << c.header;
      EXPECT_EQ(range->unsatisfiable, c.range->unsatisfiable) << c.header;
    }
  }
}

TEST(HttpParts, ListenAddressesAndWhichAreThisMachinesOwn) {
  ServerOptions options;
  EXPECT_FALSE(parseListenProblem("0.0.0.0:80", options));
  EXPECT_EQ(options.address, "0.0.0.0");
  EXPECT_EQ(options.port, 80);
  EXPECT_FALSE(parseListenProblem("[::1]:8480", options));
  EXPECT_EQ(options.address, "::1");
  for (const char* bad : {"127.0.0.1", "127.0.0.1:", "127.0.0.1:65536", "127.0.0.1:http", "::1:80",
                          "[::1]80", "localhost:80", "300.1.1.1:80"}) {
    EXPECT_TRUE(parseListenProblem(bad, options)) << bad;
  }
  EXPECT_TRUE(isLoopback("127.0.0.1"));
  EXPECT_TRUE(isLoopback("127.1.2.3"));
  EXPECT_TRUE(isLoopback("::1"));
  EXPECT_FALSE(isLoopback("0.0.0.0"));
  EXPECT_FALSE(isLoopback("192.168.1.2"));
}

// A bare server: answers with what it received.
std::unique_ptr<HttpServer> echoServer() {
  ServerOptions options;
  options.port = 0;
  std::string why;
  auto server = HttpServer::start(
      options,
      [](const Request& request) {
        nlohmann::json query = nlohmann::json::object();
        for (const auto& [name, value] : request.query) query[name] = value;
        return jsonResponse(200, {{"path", request.path},
                                  {"query", query},
                                  {"queryBad", request.queryBad},
                                  {"body", request.body},
                                  {"address", request.address},
                                  {"cookie", request.cookie("pvsession").value_or("")}});
      },
      why);
  EXPECT_TRUE(server) << why;
  return server;
}

TEST(HttpParts, TheServerHandsOverRawPathsDecodedQueriesAndBoundedBodies) {
  const auto server = echoServer();
  ASSERT_TRUE(server);
  const auto got = [&](const std::string& raw) {
    return nlohmann::json::parse(exchange(server->port(), raw).body, nullptr, false);
  };
  auto echo = got(requestText("GET", "/a/%2e%2e/b?q=a+b%21&x=%00", {{"Cookie", "pvsession=abc"}}));
  EXPECT_EQ(echo["path"], "/a/%2e%2e/b") << "the path stays as sent, for the routes to decode";
  EXPECT_EQ(echo["query"]["q"], "a b!");
  EXPECT_EQ(echo["queryBad"], true) << "a NUL in a value";
  EXPECT_EQ(echo["address"], "127.0.0.1");
  EXPECT_EQ(echo["cookie"], "abc");
  echo = got(requestText("POST", "/x", {}, std::string(16 * 1024, 'b')));
  EXPECT_EQ(echo["body"].get<std::string>().size(), 16u * 1024) << "16 KiB is allowed";
  const auto over =
      exchange(server->port(), requestText("POST", "/x", {}, std::string(16 * 1024 + 1, 'b')));
  EXPECT_EQ(over.status, 413);
  EXPECT_EQ(over.header("content-security-policy"), std::string(kContentSecurityPolicy));
}

}  // namespace
}  // namespace parvolin::webserver
