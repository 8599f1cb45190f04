// The help pop-ups of the Setup and Programs tabs, the About page's artwork and the link to the
// programs page.
//
// Each of the two tabs has a help picture and a read-only text panel. Moving the pointer over
// the help picture shows the panel, which then covers the picture; the panel stays up while the
// pointer moves, presses or releases on it, and goes away only when the pointer moves over the
// tab's background (on the Setup tab that also closes the View Script pop-up). No click is
// needed, so every control involved tracks the pointer without a button held.
//
// The link picture PbGetNewPrograms opens the local page Images/programs.html, which tells how
// to write and import programs, with the desktop's browser. Whatever that call reports is
// ignored: without a browser nothing happens and nothing is shown.
#pragma once

#include "platform/win/win_types.h"

#include <QObject>
#include <QPlainTextEdit>
#include <QString>

#include <functional>

class QFrame;
class QLabel;

namespace kestrane {

class FrmMain;
class PictureButton;
class ProgramsPage;
class SetupPage;

// A read-only, multi-line text box whose Text is kept exactly as set, line breaks as CR LF,
// and shown with one line break for each CR LF.
class HelpTextBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    HelpTextBox(const QString& objectName, QWidget* parent);

    const QString& Text() const { return text_; }
    // The text is laid out when the box is first shown: shaping a long text takes a good part
    // of start-up, and the panels stay closed until the user points at their pictures.
    void SetText(const QString& text);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void LayOut();

    QString text_;
    bool laidOut_ = true;
};

class HelpPanels : public QObject {
    Q_OBJECT
  public:
    // The shell call that opens the programs page: ShellExecuteA by default.
    using ShellExecuteFn = std::function<platform::win::HINSTANCE(
        platform::win::HWND, const char*, const char*, const char*, const char*, int)>;

    // Puts the help pictures and panels on the form's Setup and Programs pages, the artwork on
    // its About page, and connects the link picture. The texts stay empty until
    // FillHelpTexts.
    explicit HelpPanels(FrmMain& form);

    // Controls, named as the forms name them.
    PictureButton* PbSetUpHelp = nullptr;     // on the Setup page
    HelpTextBox* TxtSetUpHelp = nullptr;      // on the Setup page
    PictureButton* PbHelpPrograms = nullptr;  // on the Programs page
    HelpTextBox* TxtHelpProgramPanel = nullptr;
    QFrame* Frame1 = nullptr;  // on the About page
    QLabel* Image7 = nullptr;  // the About artwork inside Frame1

    ShellExecuteFn shellExecute;

    // The text colour of both panels.
    static QColor TextColor() { return QColor(3, 65, 133); }

    // Start-up's fill step: the colour, then the text of both panels.
    void FillHelpTexts();

    // Pointer handlers; each sets only the visibility named.
    void PbSetUpHelp_MouseMove();
    void TxtSetUpHelp_MouseDown();
    void TxtSetUpHelp_MouseMove();
    void Image1_MouseMove();  // also closes the View Script pop-up
    void PbHelpPrograms_MouseMove();
    void TxtHelpProgramPanel_MouseDown();
    void TxtHelpProgramPanel_MouseMove();
    void TxtHelpProgramPanel_MouseUp();
    void Image2_MouseMove();

    // Opens Images/programs.html of the application folder; errors are ignored.
    void PbGetNewPrograms_Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FillSetUpHelp();
    void FillHelpProgramPanel();

    FrmMain& form_;
    SetupPage& setup_;
    ProgramsPage& programs_;
    // What the pointer handlers watch, kept as plain objects: the filter also sees the events
    // of widgets that are being destroyed, when they are no longer of their own class.
    const QObject* setUpHelpPicture_ = nullptr;
    const QObject* setUpHelpBox_ = nullptr;
    const QObject* setUpHelpViewport_ = nullptr;
    const QObject* programHelpPicture_ = nullptr;
    const QObject* programHelpBox_ = nullptr;
    const QObject* programHelpViewport_ = nullptr;
    const QObject* image1_ = nullptr;
    const QObject* image2_ = nullptr;  // the Programs page, which paints its background
};

}  // namespace kestrane
