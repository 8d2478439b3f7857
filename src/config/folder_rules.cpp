#include "config/folder_rules.h"

#include "engine/recorder_settings.h"

namespace parvolin::config {
namespace {

std::string appendName(std::string_view folder, char separator) {
  std::string result(folder);
  if (result.empty() || result.back() != separator) result += separator;
  result += recordingFolderName();
  return result;
}

}  // namespace

std::string_view recordingFolderName() {
  return engine::settingSpec(engine::Setting::kParvolinPath).text;
}

std::string browsedFolder(std::string_view chosen, char separator) {
  const std::string tail = separator + std::string(recordingFolderName());
  if (chosen.ends_with(tail)) return std::string(chosen);
  return appendName(chosen, separator);
}

std::string typedFolder(std::string_view typed, char separator) {
  if (typed.ends_with(recordingFolderName())) return std::string(typed);
  return appendName(typed, separator);
}

}  // namespace parvolin::config
