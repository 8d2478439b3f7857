#pragma once

// Files for tests: every test writes only inside a TempFolder of its own, so that tests run side
// by side (ctest -j, or two runs of the suite at once) never share a file; and whole-file reads
// and writes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace parvolin::test {

// A fresh folder of a unique name under the temporary folder, removed with everything in it.
// Throws when the folder cannot be made, so that a test never writes somewhere else.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The whole file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
// Creates or replaces the file.
void writeFile(const std::filesystem::path& path, const std::string& bytes);
void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

}  // namespace parvolin::test
