#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "engine/engine.h"
#include "logview/list_edit_submitter.h"

namespace parvolin::logview {

// Hands edits to a running recording engine, whose next poll tick applies them. An edit the
// tick could not apply stays pending and is tried again on every tick; the result is known
// once it went through. The engine may tell the result after this object is gone (the dialog
// closed before the tick): it then goes nowhere.
class EngineListEdits final : public ListEditSubmitter {
 public:
  // How an edit reaches the engine: Engine::requestListEdit, or a Recorder's.
  using Request = std::function<void(engine::PendingListEdit, engine::Engine::ListEditDone)>;

  explicit EngineListEdits(Request request)
      : request_(std::move(request)), state_(std::make_shared<State>()) {}
  explicit EngineListEdits(engine::Engine& engine)
      : EngineListEdits([&engine](engine::PendingListEdit edit, engine::Engine::ListEditDone done) {
          engine.requestListEdit(std::move(edit), std::move(done));
        }) {}

  void submitListEdit(const engine::PendingListEdit& edit) override {
    // An edit this one replaces is told so by the engine; only the answer to the edit handed
    // over last counts.
    const std::uint64_t ticket = ++state_->submitted;
    state_->result.reset();
    request_(edit, [state = state_, ticket](const engine::ListEditResult& result) {
      if (ticket == state->submitted) state->result = result;
    });
  }
  std::optional<engine::ListEditResult> lastListEditResult() const override {
    return state_->result;
  }

 private:
  struct State {
    std::uint64_t submitted = 0;
    std::optional<engine::ListEditResult> result;
  };
  Request request_;
  std::shared_ptr<State> state_;
};

}  // namespace parvolin::logview
