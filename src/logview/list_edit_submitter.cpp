#include "logview/list_edit_submitter.h"

namespace parvolin::logview {

void ImmediateListEditor::submitListEdit(const engine::PendingListEdit& edit) {
  engine::PendingListEdit pending = edit;
  result_ = engine::applyPendingListEdit(folder_, list_, pending);
}

}  // namespace parvolin::logview
