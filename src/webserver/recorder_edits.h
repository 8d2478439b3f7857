#pragma once

// Changes of the call list handed to the folder's running recorder through its control socket:
// lvsvr never writes the list itself. Each change names the row it means by its fingerprint, so
// that a list that moved under the page (a new call on top, another edit) changes nothing.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace parvolin::webserver {

struct EditOutcome {
  enum class Kind {
    kApplied,     // the recorder's tick applied it (or it changed nothing)
    kMoved,       // the row is no longer the one meant, or is gone: 409
    kRefused,     // the text is refused: 400
    kNotRunning,  // no recorder serves the folder: 503
    kFailed,      // no answer in time, or the recorder could not apply it: 503
  };
  Kind kind = Kind::kFailed;
  std::string message;  // for the user
};

class RecorderEdits {
 public:
  virtual ~RecorderEdits() = default;
  virtual EditOutcome editText(int item, std::string_view fingerprint, std::string_view text) = 0;
  virtual EditOutcome remove(int item, std::string_view fingerprint) = 0;
};

// Through the control socket of the recorder of `folder`, waiting up to `timeout` for each answer.
class ControlSocketEdits final : public RecorderEdits {
 public:
  explicit ControlSocketEdits(std::filesystem::path folder,
                              std::chrono::milliseconds timeout = std::chrono::seconds(15))
      : folder_(std::move(folder)), timeout_(timeout) {}
  EditOutcome editText(int item, std::string_view fingerprint, std::string_view text) override;
  EditOutcome remove(int item, std::string_view fingerprint) override;

 private:
  EditOutcome send(const std::string& op, int item, std::string_view fingerprint,
                   std::string_view text);
  std::filesystem::path folder_;
  std::chrono::milliseconds timeout_;
};

inline constexpr std::string_view kRecorderNotRunningText = "The recorder is not running.";

}  // namespace parvolin::webserver
