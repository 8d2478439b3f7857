#pragma once

// The pages, scripts, styles and images that lvsvr serves, built into the program from
// src/webserver/assets/: the server needs no file of its own at run time and serves nothing
// from the disk but recordings.

#include <cstdint>
#include <span>
#include <string_view>

namespace parvolin::webserver {

struct EmbeddedFile {
  std::string_view name;  // the file's name in the assets folder, "calls.js"
  std::span<const unsigned char> bytes;
};

// Every embedded file, sorted by name (made at build time).
std::span<const EmbeddedFile> embeddedFiles();

struct Asset {
  std::string_view name;
  std::string_view contentType;  // "text/html; charset=utf-8", ...
  std::span<const unsigned char> bytes;
};

// The embedded file called `name` (no folders: a name with '/' or one that starts with '.' is
// none), with its content type by extension; nullptr when there is none.
const Asset* findAsset(std::string_view name);

}  // namespace parvolin::webserver
