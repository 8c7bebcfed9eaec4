#include "app/shell/window_state.h"

#include <algorithm>

namespace upwend {

void ComboBoxState::SelectOrFirst(const std::string& item) {
  auto it = std::find(items.begin(), items.end(), item);
  if (it != items.end()) {
    itemIndex = static_cast<int>(it - items.begin());
  } else {
    itemIndex = items.empty() ? -1 : 0;
  }
  text = itemIndex >= 0 ? items[static_cast<size_t>(itemIndex)] : std::string();
}

}  // namespace upwend
