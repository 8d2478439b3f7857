#pragma once

#include "engine/engine.h"
#include "logview/list_edit_submitter.h"

namespace parvolin::logview {

// Hands edits to a running recording engine, whose next poll tick applies them. An edit the
// tick could not apply stays pending and is tried again on every tick; the result is known
// once it went through.
class EngineListEdits final : public ListEditSubmitter {
 public:
  explicit EngineListEdits(engine::Engine& engine) : engine_(engine) {}

  void submitListEdit(const engine::PendingListEdit& edit) override {
    engine_.pendingListEdit = edit;
    submitted_ = true;
  }
  std::optional<engine::ListEditResult> lastListEditResult() const override {
    if (!submitted_ || engine_.pendingListEdit.isPending()) return std::nullopt;
    engine::ListEditResult result;
    result.applied = true;
    return result;
  }

 private:
  engine::Engine& engine_;
  bool submitted_ = false;
};

}  // namespace parvolin::logview
