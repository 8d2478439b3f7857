#include "webserver/assets.h"

#include <algorithm>
#include <array>
#include <vector>

namespace parvolin::webserver {
namespace {

std::string_view contentTypeOf(std::string_view name) {
  struct Type {
    std::string_view extension;
    std::string_view type;
  };
  static constexpr std::array<Type, 7> kTypes{{
      {".html", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".ico", "image/x-icon"},
      {".txt", "text/plain; charset=utf-8"},
  }};
  for (const Type& type : kTypes) {
    if (name.ends_with(type.extension)) {
      return type.type;
    }
  }
  return "application/octet-stream";
}

std::vector<Asset> makeAssets() {
  std::vector<Asset> assets;
  for (const EmbeddedFile& file : embeddedFiles()) {
    assets.push_back({file.name, contentTypeOf(file.name), file.bytes});
  }
  std::sort(assets.begin(), assets.end(),
            [](const Asset& a, const Asset& b) { return a.name < b.name; });
  return assets;
}

}  // namespace

const Asset* findAsset(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.find('/') != std::string_view::npos ||
      name.find('\\') != std::string_view::npos) {
    return nullptr;
  }
  static const std::vector<Asset> assets = makeAssets();
  const auto found =
      std::lower_bound(assets.begin(), assets.end(), name,
                       [](const Asset& a, std::string_view n) { return a.name < n; });
  if (found == assets.end() || found->name != name) {
    return nullptr;
  }
  return &*found;
}

}  // namespace parvolin::webserver
