#pragma once

// How the file manager hands its changes of the list to whoever writes the list: the running
// recorder applies them on its next poll tick; without a recorder (pvtool, a viewer opened on
// its own) they are applied at once, exactly as the tick would.

#include <filesystem>
#include <optional>

#include "engine/html_list.h"

namespace parvolin::logview {

class ListEditSubmitter {
 public:
  virtual ~ListEditSubmitter() = default;
  // Hands `edit` over; it replaces an earlier edit that is still waiting.
  virtual void submitListEdit(const engine::PendingListEdit& edit) = 0;
  // The result of the edit handed over last; nullopt while it waits, or when there was none.
  virtual std::optional<engine::ListEditResult> lastListEditResult() const = 0;
};

// Applies each edit when it is handed over, with the tick's rules (an emptied body deletes the
// list; only a Delete All edit then clears the folder).
class ImmediateListEditor final : public ListEditSubmitter {
 public:
  ImmediateListEditor(std::filesystem::path folder, std::filesystem::path list)
      : folder_(std::move(folder)), list_(std::move(list)) {}

  void submitListEdit(const engine::PendingListEdit& edit) override;
  std::optional<engine::ListEditResult> lastListEditResult() const override { return result_; }

 private:
  std::filesystem::path folder_;
  std::filesystem::path list_;
  std::optional<engine::ListEditResult> result_;
};

}  // namespace parvolin::logview
