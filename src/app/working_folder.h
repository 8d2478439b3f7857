#pragma once

#include <filesystem>
#include <string>

namespace parvolin::app {

// The process's current directory, which the recorder sets to its recording folder so that the
// programs it starts find the recordings there. Core code never relies on it: it takes the
// folder as an explicit path.
class WorkingFolder {
 public:
  virtual ~WorkingFolder() = default;
  virtual std::filesystem::path current() = 0;
  virtual bool changeTo(const std::filesystem::path& folder) = 0;
  // Creates the folder and any missing parents; true when it exists afterwards.
  virtual bool create(const std::filesystem::path& folder) = 0;
};

class ProcessWorkingFolder final : public WorkingFolder {
 public:
  std::filesystem::path current() override;
  bool changeTo(const std::filesystem::path& folder) override;
  bool create(const std::filesystem::path& folder) override;
};

// Makes `folder` the current directory, creating it when it is missing, then tries once more to
// enter it. False when it could be neither entered nor created: the current directory stays.
[[nodiscard]] bool enterOrCreate(WorkingFolder& workingFolder, const std::filesystem::path& folder);

// How a change of the recording folder went.
struct FolderChange {
  enum class Result {
    kEntered,     // the folder is the recording folder now
    kNotLocated,  // it could be neither entered nor created: the current directory is used
    kHeld,        // another program holds it: the previous folder stays
  };
  Result result = Result::kEntered;
  std::string heldBy;  // kHeld: a sentence naming the folder and the program that holds it
};

// Keeps the current directory as a value and never changes the process's; for tests. Folders
// are created on disk.
class FakeWorkingFolder final : public WorkingFolder {
 public:
  explicit FakeWorkingFolder(std::filesystem::path start) : current_(std::move(start)) {}
  std::filesystem::path current() override { return current_; }
  bool changeTo(const std::filesystem::path& folder) override;
  bool create(const std::filesystem::path& folder) override;

 private:
  std::filesystem::path current_;
};

}  // namespace parvolin::app
