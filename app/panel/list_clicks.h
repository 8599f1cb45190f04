// A list's click behaviour as the forms runtime raises it: once for every click or keyboard move
// in the list, whether it changes the selection (a press on another row, a key) or not (a
// click on the selected row again); a press that selects a row is one click, not two.
#pragma once

#include <functional>

class QListView;
class QListWidget;

namespace kestrane {

// For a list of items; the program's own changes are silenced by blocking the list's signals.
void OnListClick(QListWidget* list, std::function<void()> click);
// For a view over a model; the program's own changes are silenced by blocking its selection
// model's signals.
void OnListClick(QListView* view, std::function<void()> click);

}  // namespace kestrane
