#include "app/panel/help_panels.h"

#include "app/panel/panel_test_fixture.h"
#include "app/panel/programs_page.h"
#include "platform/shell/shell_execute.h"
#include "platform/win/window.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>

#include <stdexcept>
#include <vector>

namespace kestrane::paneltest {
namespace {

namespace win = platform::win;

struct ShellCall {
    win::HWND hwnd = 0;
    std::string operation, file;
    bool noParameters = false;
    std::string directory;
    int show = 0;
};

class HelpPanelsTest : public PanelTest {
  protected:
    HelpPanelsTest() {
        QImage picture(20, 20, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        EXPECT_TRUE(
            picture.save(QString::fromStdString((dir / "Images/help.gif").string()), "PNG"));
        QImage art(536, 352, QImage::Format_RGB32);
        art.fill(Qt::white);
        EXPECT_TRUE(
            art.save(QString::fromStdString((dir / "Images/aboutart.jpg").string()), "JPG"));
        WriteBytes(dir / "Images/SelectedPrograms.txt", "Calm;1\r\nEmpty;0\r\n");
        WriteBytes(dir / "Images/AutoStart.txt", "0\r\n");
        EXPECT_TRUE(Load());
        help = &form->Help();
    }

    // Moves the pointer, no button held, to `at` on the page: the event goes to the control
    // under the pointer, as the window system's would, and Qt passes it on from there.
    static void MoveOver(QWidget* page, const QPoint& at) {
        QWidget* target = page->childAt(at);
        if (target == nullptr) {
            target = page;
        }
        const QPointF local = target->mapFrom(page, QPointF(at));
        QMouseEvent move(QEvent::MouseMove, local, page->mapToGlobal(QPointF(at)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    }

    static void Click(QWidget* target, const QPoint& at) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), target->mapToGlobal(QPointF(at)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at),
                            target->mapToGlobal(QPointF(at)), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    }

    static QPoint Center(const QWidget* w) { return w->geometry().center(); }

    // The text split at the blank lines between its pieces.
    static QStringList Pieces(const QString& text) {
        return text.split(QStringLiteral("\r\n\r\n"));
    }

    HelpPanels* help = nullptr;
};

TEST_F(HelpPanelsTest, PanelsArePlacedHiddenReadOnlyInTheirColours) {
    EXPECT_EQ(help->TxtSetUpHelp->parentWidget(), setup);
    EXPECT_EQ(help->TxtHelpProgramPanel->parentWidget(), form->PanelEditMessage);
    EXPECT_EQ(help->TxtSetUpHelp->geometry(), QRect(286, 5, 235, 334));
    EXPECT_EQ(help->TxtHelpProgramPanel->geometry(), QRect(281, 4, 240, 334));
    const QColor tipBase = QApplication::palette().color(QPalette::ToolTipBase);
    for (HelpTextBox* box : {help->TxtSetUpHelp, help->TxtHelpProgramPanel}) {
        SCOPED_TRACE(box->objectName().toStdString());
        EXPECT_TRUE(box->isHidden());
        EXPECT_TRUE(box->isReadOnly());
        EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_EQ(box->palette().color(QPalette::Text), QColor(3, 65, 133));
        EXPECT_EQ(box->palette().color(QPalette::Base), tipBase);
        // The colour stays while a run locks the page.
        EXPECT_EQ(box->palette().color(QPalette::Disabled, QPalette::Text), QColor(3, 65, 133));
    }

    // Each help picture lies inside its panel's area, covers no other control of its page and
    // shows the picture file.
    const std::pair<PictureButton*, HelpTextBox*> pairs[] = {
        {help->PbSetUpHelp, help->TxtSetUpHelp}, {help->PbHelpPrograms, help->TxtHelpProgramPanel}};
    for (const auto& [picture, box] : pairs) {
        SCOPED_TRACE(picture->objectName().toStdString());
        EXPECT_TRUE(picture->HasPicture());
        EXPECT_EQ(picture->size(), QSize(20, 20));
        EXPECT_TRUE(box->geometry().contains(picture->geometry()));
        for (QWidget* other : picture->parentWidget()->findChildren<QWidget*>(
                 QString(), Qt::FindDirectChildrenOnly)) {
            if (other == picture || other == box || other == setup->Image1) {
                continue;
            }
            EXPECT_FALSE(other->geometry().intersects(picture->geometry()))
                << other->objectName().toStdString();
        }
    }

    // The About page: one frame with the artwork.
    EXPECT_EQ(help->Frame1->parentWidget(), form->PanelAbout);
    EXPECT_EQ(help->Image7->parentWidget(), help->Frame1);
    help->Frame1->window()->show();
    help->Frame1->parentWidget()->show();  // the About page
    EXPECT_EQ(help->Image7->pixmap().size(), QSize(536, 352));
}

TEST_F(HelpPanelsTest, SetUpHelpTextHasTheHeadingsInOrderWithBlankLinesBetween) {
    const QString text = help->TxtSetUpHelp->Text();
    const QStringList pieces = Pieces(text);
    const QStringList headings = {"Select Veltrane Program :",
                                  "View Script :",
                                  "Color :",
                                  "Font  :",
                                  "Auto Option :",
                                  "Message Duration :",
                                  "Time Between Messages:",
                                  "Message Position :",
                                  "Test Duration and Font :",
                                  "Start :",
                                  "Hide :",
                                  "Close :"};
    ASSERT_EQ(pieces.size(), 1 + 2 * headings.size()) << text.toStdString();
    EXPECT_TRUE(pieces[0].contains("Setup")) << pieces[0].toStdString();
    for (qsizetype i = 0; i < headings.size(); ++i) {
        EXPECT_EQ(pieces[1 + 2 * i], headings[i]);
    }
    for (const QString& piece : pieces) {
        EXPECT_FALSE(piece.isEmpty());
        EXPECT_FALSE(piece.contains('\r') || piece.contains('\n')) << piece.toStdString();
    }
    // The duration paragraph names the true default and the advised range.
    const QString duration = pieces[2 + 2 * 5];
    EXPECT_TRUE(duration.contains("default is 100 milliseconds")) << duration.toStdString();
    EXPECT_FALSE(duration.contains("50"));
    EXPECT_TRUE(duration.contains("5 and 25"));
    EXPECT_TRUE(text.startsWith(pieces[0] + "\r\n\r\nSelect Veltrane Program :\r\n\r\nTick "));
    EXPECT_TRUE(text.endsWith("\r\n\r\nClose :\r\n\r\n" + pieces.last()));

    // On screen every CR LF is one line break.
    help->TxtSetUpHelp->window()->show();
    help->TxtSetUpHelp->show();
    QString shown = text;
    shown.replace("\r\n", "\n");
    EXPECT_EQ(help->TxtSetUpHelp->toPlainText(), shown);
}

TEST_F(HelpPanelsTest, ProgramsHelpTextHasTwoSectionsAndOneLineBreakInTheCaution) {
    const QString text = help->TxtHelpProgramPanel->Text();
    const QStringList pieces = Pieces(text);
    ASSERT_EQ(pieces.size(), 17) << text.toStdString();
    EXPECT_TRUE(pieces[0].contains("Veltrane Programs section") &&
                pieces[0].contains("Messages section"))
        << pieces[0].toStdString();
    EXPECT_EQ(pieces[1], "Veltrane Programs Section:");
    EXPECT_EQ(pieces[3], "Explanation of buttons:");
    EXPECT_EQ(pieces[9], "Messages Section: ");  // with its space after the colon
    EXPECT_EQ(pieces[11], "Explanation of Buttons:");
    const char* buttons[] = {"Import", "Create", "Reset", "Rename", "Delete"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(pieces[4 + i].startsWith(buttons[i])) << pieces[4 + i].toStdString();
    }
    EXPECT_TRUE(pieces[12].startsWith("Add"));
    EXPECT_TRUE(pieces[14].startsWith("Exclude"));
    EXPECT_TRUE(pieces[15].startsWith("Update"));
    EXPECT_TRUE(pieces[16].startsWith("Delete"));

    // The caution is two paragraphs with one line break between them, the only single break
    // of the text.
    const QStringList caution = pieces[13].split("\r\n");
    ASSERT_EQ(caution.size(), 2) << pieces[13].toStdString();
    EXPECT_TRUE(caution[0].startsWith("Caution"));
    EXPECT_FALSE(caution[1].isEmpty());
    EXPECT_EQ(text.count("\r\n"), 2 * 16 + 1);
    EXPECT_EQ(text.count('\r'), text.count('\n'));
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        EXPECT_FALSE(pieces[i].isEmpty());
        EXPECT_EQ(pieces[i].contains("\r\n"), i == 13) << pieces[i].toStdString();
    }
    help->TxtHelpProgramPanel->window()->show();
    help->TxtHelpProgramPanel->parentWidget()->show();  // the Programs page
    help->TxtHelpProgramPanel->show();
    QString shown = text;
    shown.replace("\r\n", "\n");
    EXPECT_EQ(help->TxtHelpProgramPanel->toPlainText(), shown);
}

TEST_F(HelpPanelsTest, SetUpHelpShowsOnThePictureStaysOnThePanelAndHidesOnTheBackground) {
    HelpTextBox* box = help->TxtSetUpHelp;
    const QPoint picture = Center(help->PbSetUpHelp);
    const QPoint background(265, 120);  // between the two columns, no control
    ASSERT_EQ(setup->childAt(background), setup->Image1);

    MoveOver(setup, picture);
    EXPECT_FALSE(box->isHidden());
    // The panel now covers the picture; moving on over it, inside it, keeps it up.
    ASSERT_TRUE(box->isAncestorOf(setup->childAt(picture)));
    MoveOver(setup, picture);
    EXPECT_FALSE(box->isHidden());
    MoveOver(setup, picture + QPoint(-100, 150));
    EXPECT_FALSE(box->isHidden());
    // Moving over another control of the page (the category list) does not hide it.
    MoveOver(setup, Center(setup->ClbCategories));
    EXPECT_FALSE(box->isHidden());

    // A click on the panel never hides it nor changes its text.
    const QString text = box->Text();
    Click(box->viewport(), QPoint(20, 20));
    EXPECT_FALSE(box->isHidden());
    EXPECT_EQ(box->Text(), text);

    // The View Script pop-up is open too: the background closes both.
    setup->ClbCategories->setCurrentRow(0);
    setup->PbViewScript->pressed();
    ASSERT_FALSE(setup->LstBoxViewScript->isHidden());
    MoveOver(setup, background);
    EXPECT_TRUE(box->isHidden());
    EXPECT_TRUE(setup->LstBoxViewScript->isHidden());

    // The picture is uncovered again and brings the panel back.
    ASSERT_EQ(setup->childAt(picture), help->PbSetUpHelp);
    MoveOver(setup, picture);
    EXPECT_FALSE(box->isHidden());
}

TEST_F(HelpPanelsTest, ProgramsHelpShowsOnThePictureAndHidesOnlyOnTheBareBackground) {
    form->PbEditMessages_Click();
    ProgramsPage* page = form->PanelEditMessage;
    HelpTextBox* box = help->TxtHelpProgramPanel;
    const QPoint picture = Center(help->PbHelpPrograms);
    const QPoint background(265, 200);  // between the two halves of the page
    ASSERT_EQ(page->childAt(background), nullptr);

    // The bare background while the panel is hidden changes nothing.
    MoveOver(page, background);
    EXPECT_TRUE(box->isHidden());

    MoveOver(page, picture);
    EXPECT_FALSE(box->isHidden());
    ASSERT_TRUE(box->isAncestorOf(page->childAt(picture)));
    MoveOver(page, picture);
    EXPECT_FALSE(box->isHidden());
    MoveOver(page, picture + QPoint(-80, 200));
    EXPECT_FALSE(box->isHidden());

    // Press and release on the panel keep it; so do moves over the page's own controls.
    Click(box->viewport(), QPoint(30, 40));
    EXPECT_FALSE(box->isHidden());
    for (QWidget* control : std::initializer_list<QWidget*>{
             page->LstBoxCategories, page->TxtCategory, page->Pbcadd, page->PbImport}) {
        MoveOver(page, Center(control));
        EXPECT_FALSE(box->isHidden()) << control->objectName().toStdString();
    }

    MoveOver(page, background);
    EXPECT_TRUE(box->isHidden());
    MoveOver(page, picture);
    EXPECT_FALSE(box->isHidden());
}

TEST_F(HelpPanelsTest, GetNewProgramsOpensTheLocalPageAndIgnoresEveryFailure) {
    WriteBytes(dir / "Images/Programs.HTML", "<html></html>\n");
    std::vector<ShellCall> calls;
    win::HINSTANCE result = platform::shell::SE_ERR_NOASSOC;  // no browser
    help->shellExecute = [&](win::HWND hwnd, const char* op, const char* file,
                             const char* parameters, const char* directory, int show) {
        calls.push_back({hwnd, op, file, parameters == nullptr, directory, show});
        return result;
    };
    form->PbEditMessages_Click();
    ASSERT_FALSE(form->PbGetNewPrograms->isHidden());
    form->PbGetNewPrograms->click();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_GT(calls[0].hwnd, 0);
    EXPECT_EQ(calls[0].hwnd, form->hWnd());
    EXPECT_EQ(win::WidgetFromHandle(calls[0].hwnd), form.get());
    EXPECT_EQ(calls[0].operation, "Open");
    // The page as it lies on disk, whatever the letter case.
    EXPECT_EQ(calls[0].file, (dir / "Images/Programs.HTML").string());
    EXPECT_TRUE(calls[0].noParameters);
    EXPECT_EQ(calls[0].directory, dir.path().string());
    EXPECT_EQ(calls[0].show, 1);

    // A shell call that throws is swallowed as well.
    help->shellExecute = [&](win::HWND, const char*, const char*, const char*, const char*,
                             int) -> win::HINSTANCE { throw std::runtime_error("no desktop"); };
    EXPECT_NO_THROW(form->PbGetNewPrograms->click());

    // The real call on a folder without the page fails quietly, without starting anything.
    fs::remove(dir / "Images/Programs.HTML");
    help->shellExecute = &platform::shell::ShellExecuteA;
    EXPECT_NO_THROW(help->PbGetNewPrograms_Click());
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace kestrane::paneltest
