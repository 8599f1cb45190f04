// What the tab pages need of the window they sit in, and of each other, as two narrow
// interfaces: the pages never reach back into the window, so each can be built and tested on
// its own and the panel folder reads from the window down to its pages.
#pragma once

#include "app/flash/shared_state.h"
#include "app/store/category_entry.h"
#include "platform/dialogs/dialogs.h"

#include <filesystem>
#include <string>

namespace kestrane {

// The window's shared state, dialogs and run control, as the pages use them.
class PanelContext {
  public:
    // The folder that holds the executable; every file is this folder plus a fixed suffix.
    virtual const std::filesystem::path& AppFolder() const = 0;
    // The folder whose kestrane the autostart Run value names (an installed program's
    // launcher; otherwise the application folder).
    virtual const std::filesystem::path& RunFolder() const = 0;
    // The options record and the run flags, shared with the flash window.
    virtual SharedState& State() = 0;
    // Message boxes and the common dialogs.
    virtual platform::Dialogs& Dialogs() = 0;
    // The one common dialog object: colour, font and file dialogs share its values and flags.
    virtual platform::CommonDialogState& CommonDialog1() = 0;
    // False while start-up fills the category lists: the list's click behaviour then does
    // nothing.
    virtual bool ListsReady() const = 0;
    // Rewrites the options file from the shared options record.
    virtual void SaveOptions() = 0;
    // Commits a timing box into the options (run control's commit, which also saves).
    virtual void CommitDuration() = 0;
    virtual void CommitInterval() = 0;
    // The quiet choices of the shared state changed: the sources follow them.
    virtual void QuietChoicesChanged() {}

  protected:
    ~PanelContext() = default;
};

// The Setup tab's category check list, which the Programs tab keeps in step with its own list:
// the same names in the same order.
class CategoryCatalogue {
  public:
    // The entries in list order with their ticks; names are the bytes the selection file holds.
    virtual CategoryList Categories() const = 0;
    // Appends an unticked entry; no click behaviour runs.
    virtual void AppendCategory(const std::string& name) = 0;
    // Removes the entry at row; no click behaviour runs.
    virtual void RemoveCategory(int row) = 0;

  protected:
    ~CategoryCatalogue() = default;
};

}  // namespace kestrane
