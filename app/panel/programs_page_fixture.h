// Test fixture for the Programs tab: the control panel's Setup and Programs pages over a temporary
// application folder, dialogs answered by the test, and the user's clicks as the list widgets
// receive them.
#pragma once

#include "app/flash/fake_clock.h"
#include "app/panel/category_manager.h"
#include "app/panel/frm_main.h"
#include "app/panel/message_editor.h"
#include "app/panel/picture_button.h"
#include "app/panel/programs_page.h"
#include "app/panel/setup_page.h"
#include "app/store/selection_file.h"
#include "platform/dialogs/scripted_dialogs.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestrane::testing_programs {

using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

class ProgramsTest : public ::testing::Test {
  protected:
    ProgramsTest() {
        std::filesystem::create_directories(dir / "Data");
        std::filesystem::create_directories(dir / "Images");
        FrmMain::Options o;
        o.appFolder = dir.path();
        o.timers = clock.Factory();
        o.createTray = false;
        host = std::make_unique<FrmMain>(state, dialogs, std::move(o));
        setup = host->PanelOptions;
        page = host->PanelEditMessage;
        page->show();
        host->show();  // laid out, so clicks land on the rows
    }

    // Writes the selection file and fills both lists from it, as start-up does.
    void Start(const std::string& selection) {
        WriteBytes(SelectionPath(), selection);
        for (const CategoryEntry& e : ReadSelectedPrograms(dir.path())) {
            setup->AddCategory(e);
            page->AddCategoryName(e.name);
        }
    }

    std::filesystem::path SelectionPath() const { return dir / "Images/SelectedPrograms.txt"; }
    std::string Selection() const { return ReadBytes(SelectionPath()); }
    std::filesystem::path DataPath(const std::string& name) const {
        return dir / ("Data/" + name + ".txt");
    }
    std::string Data(const std::string& name) const { return ReadBytes(DataPath(name)); }

    // The user's clicks.
    void SelectCategory(int row) { ClickRow(page->LstBoxCategories, row); }
    void ClickMessage(int row) { ClickRow(page->ClbMessages, row); }
    // A left click on the middle of a row's text, pressed and released.
    static void ClickRow(QAbstractItemView* list, int row) {
        const QRect r = list->visualRect(list->model()->index(row, 0));
        const QPointF at(r.right() - 4, r.center().y());  // clear of the check box
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &e);
        }
    }
    // A check mark changed as the list's tick box changes it: through the model.
    void SetCheck(int row, bool checked) {
        QAbstractItemModel* model = page->ClbMessages->model();
        model->setData(model->index(row, 0), checked ? Qt::Checked : Qt::Unchecked,
                       Qt::CheckStateRole);
    }
    static void Click(PictureButton* button) { button->click(); }

    // The names of the Programs list, as bytes, in order.
    std::vector<std::string> ProgramNames() const {
        std::vector<std::string> out;
        for (int i = 0; i < page->LstBoxCategories->count(); ++i) {
            out.push_back(ProgramsPage::ItemBytes(page->LstBoxCategories->item(i)));
        }
        return out;
    }

    // Both lists hold these entries, in this order (the Programs list has no ticks).
    void ExpectLists(const CategoryList& expected) const {
        EXPECT_EQ(setup->Categories(), expected);
        std::vector<std::string> names;
        for (const auto& e : expected) {
            names.push_back(e.name);
        }
        EXPECT_EQ(ProgramNames(), names);
    }

    MessageList Shown() const { return page->MessageItems(); }

    TempDir dir;
    SharedState state;
    platform::ScriptedDialogs dialogs;
    FakeClock clock;
    std::unique_ptr<FrmMain> host;
    SetupPage* setup = nullptr;
    ProgramsPage* page = nullptr;
};

}  // namespace kestrane::testing_programs
