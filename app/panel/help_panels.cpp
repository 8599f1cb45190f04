#include "app/panel/help_panels.h"

#include "app/panel/frm_main.h"
#include "app/panel/picture_button.h"
#include "app/panel/programs_page.h"
#include "app/panel/setup_page.h"
#include "app/panel/twips.h"
#include "app/store/text_file.h"
#include "platform/shell/shell_execute.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>

#include <filesystem>
#include <initializer_list>
#include <string>

namespace kestrane {

namespace {

const QString kBlankLine = QStringLiteral("\r\n\r\n");
const QString kLineBreak = QStringLiteral("\r\n");

// Both help pictures lie inside the area of their panel, so the panel that they bring up
// covers them and the pointer is on the panel at once.
const QRect kSetUpHelpPicture = TwipsRect(7500, 150, 300, 300);
const QRect kHelpProgramsPicture = TwipsRect(7470, 105, 300, 300);

const QString kHelpPicture = QStringLiteral("\\Images\\help.gif");
const QString kAboutArtwork = QStringLiteral("\\Images\\aboutart.jpg");
const char* const kProgramsPage = "\\Images\\programs.html";

// The Setup tab's texts: a heading and the paragraph that follows it.
struct Topic {
    const char* heading;
    const char* paragraph;
};

const char* const kSetUpWelcome =
    "Welcome to Veltrane! The instructions for the Setup tab follow below.";

const Topic kSetUpTopics[] = {
    {"Select Veltrane Program :",
     "Tick the programs that you want to run. Once you press Start, their messages flash on "
     "the screen while you go on working."},
    {"View Script :",
     "Highlight a program in the list and press View Script to see the messages of that "
     "program that will be flashed. Only the included messages appear; excluded ones are left "
     "out."},
    {"Color :", "Press Color to choose the colour of the flashed text."},
    {"Font  :", "Press Font to choose the typeface and the size of the flashed text."},
    {"Auto Option :",
     "Tick this box to start the program whenever the computer starts and you log on. It then "
     "starts hidden in the notification area and flashes the ticked programs at once."},
    {"Message Duration :",
     "How long each message stays on the screen, in milliseconds. The default is 100 "
     "milliseconds. Tune it so that the text can only just be read; for most people that is "
     "somewhere between 5 and 25 milliseconds."},
    {"Time Between Messages:",
     "The pause between two messages, in seconds (1 to 60). The default is 1 second, and 1 "
     "second is also what we advise."},
    {"Message Position :",
     "Where on the screen the messages appear: in the centre, at the top left, at the top right "
     "or at a random place. The random position is the least distracting."},
    {"Test Duration and Font :",
     "Press Test to see how the messages will look: the word Test flashes in the box below with "
     "the chosen display time, pause, colour, size (up to 26 points), bold and italic, in this "
     "window's own typeface; the chosen typeface shows only in the real run. Press it again to "
     "end the test."},
    {"Start :",
     "Start starts flashing the ticked programs and Stop stops them. The settings can only be "
     "changed while the program is stopped."},
    {"Hide :",
     "Hide puts the program into the notification area (the system tray), where it keeps "
     "running. Click its icon there to show this window again or to start and stop the "
     "flashing."},
    {"Close :", "Close ends the program. Your settings are kept for the next start."},
};

const char* const kProgramsIntro =
    "The Programs tab has two sections: the Veltrane Programs section on the left, where you "
    "manage your programs, and the Messages section on the right, where you edit the messages "
    "of one program.";
const char* const kProgramsSection = "Veltrane Programs Section:";
const char* const kProgramsList =
    "The list shows every program that is loaded and can be run. Click a program to work "
    "with it.";
const char* const kProgramButtons = "Explanation of buttons:";
const char* const kProgramButtonTexts[] = {
    "Import: brings in a program from a .txt file with one message per line, which you choose "
    "in an open-file dialog. The program is named after the file.",
    "Create: type the name of a new program in the box above the buttons, then press Create.",
    "Reset: once you have clicked a program in the list, the Create button turns into Reset. "
    "Reset clears the highlight and takes you back to creating a new program.",
    "Rename: type the new name in the box above the buttons for the highlighted program, then "
    "press Rename.",
    "Delete: deletes the highlighted program after you confirm it. This cannot be undone.",
};
const char* const kMessagesSection = "Messages Section: ";
const char* const kMessagesList =
    "Click a program in the left list and its messages are shown here.";
const char* const kMessageButtons = "Explanation of Buttons:";
const char* const kMessageAdd =
    "Add: adds the message typed in the box above the buttons to the highlighted program.";
const char* const kCautionFirst =
    "Caution: we advise you not to write your own message scripts unless you know the "
    "principles of writing such scripts.";
const char* const kCautionSecond =
    "A badly worded message can do more harm than good. If you write your own, keep every "
    "message short, positive and in the present tense.";
const char* const kMessageRest[] = {
    "Exclude: the highlighted message is skipped when the program runs. Clearing its check box "
    "does the same. Excluding is better than deleting: the message stays and can be included "
    "again.",
    "Update: changes the highlighted message to the text in the box above the buttons and "
    "saves it.",
    "Delete: deletes the highlighted message. We recommend Exclude instead.",
};

QString Latin(const char* text) {
    return QString::fromLatin1(text);
}

void SetColors(QPlainTextEdit* box, const QColor& text) {
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::Text, text);
    box->setPalette(pal);
}

// The pointer's handler runs for moves without a button too.
void TrackPointer(QWidget* widget, QObject* filter) {
    widget->setMouseTracking(true);
    widget->installEventFilter(filter);
}

}  // namespace

HelpTextBox::HelpTextBox(const QString& objectName, QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(objectName);
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::ToolTipBase));
    setPalette(pal);
}

void HelpTextBox::SetText(const QString& text) {
    text_ = text;
    laidOut_ = false;
    if (isVisible()) {
        LayOut();
    }
}

void HelpTextBox::showEvent(QShowEvent* event) {
    if (!laidOut_) {
        LayOut();
    }
    QPlainTextEdit::showEvent(event);
}

void HelpTextBox::LayOut() {
    laidOut_ = true;
    // Every CR LF is one line break on screen; a lone CR or LF counts as one too.
    QString shown = text_;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setPlainText(shown);
}

HelpPanels::HelpPanels(FrmMain& form)
    : QObject(&form),
      shellExecute(&platform::shell::ShellExecuteA),
      form_(form),
      setup_(*form.PanelOptions),
      programs_(*form.PanelEditMessage) {
    setObjectName(QStringLiteral("HelpPanels"));

    // Setup tab: the picture first, so that the panel lies above it.
    PbSetUpHelp = new PictureButton(QStringLiteral("PbSetUpHelp"), QStringLiteral("?"), &setup_);
    PbSetUpHelp->setGeometry(kSetUpHelpPicture);
    TxtSetUpHelp = new HelpTextBox(QStringLiteral("TxtSetUpHelp"), &setup_);
    TxtSetUpHelp->setGeometry(TwipsRect(4290, 75, 3525, 5010));
    TxtSetUpHelp->hide();

    // Programs tab.
    PbHelpPrograms =
        new PictureButton(QStringLiteral("PbHelpPrograms"), QStringLiteral("?"), &programs_);
    PbHelpPrograms->setGeometry(kHelpProgramsPicture);
    TxtHelpProgramPanel = new HelpTextBox(QStringLiteral("TxtHelpProgramPanel"), &programs_);
    TxtHelpProgramPanel->setGeometry(TwipsRect(4215, 60, 3600, 5010));
    TxtHelpProgramPanel->hide();

    for (PictureButton* picture : {PbSetUpHelp, PbHelpPrograms}) {
        picture->setCursor(Qt::ArrowCursor);  // a picture to point at, not to click
        form_.SetPicture(picture, kHelpPicture);
        TrackPointer(picture, this);
    }
    setUpHelpPicture_ = PbSetUpHelp;
    setUpHelpBox_ = TxtSetUpHelp;
    setUpHelpViewport_ = TxtSetUpHelp->viewport();
    programHelpPicture_ = PbHelpPrograms;
    programHelpBox_ = TxtHelpProgramPanel;
    programHelpViewport_ = TxtHelpProgramPanel->viewport();
    for (QWidget* box :
         {static_cast<QWidget*>(TxtSetUpHelp), TxtSetUpHelp->viewport(),
          static_cast<QWidget*>(TxtHelpProgramPanel), TxtHelpProgramPanel->viewport()}) {
        TrackPointer(box, this);
    }
    // The backgrounds: the Setup page's picture Image1, and the Programs page itself, which
    // paints its background picture Image2.
    image1_ = setup_.Image1;
    image2_ = &programs_;
    TrackPointer(setup_.Image1, this);
    TrackPointer(&programs_, this);

    // About page: a frame with the artwork and nothing else.
    Frame1 = new QFrame(form_.PanelAbout);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::NoFrame);
    Frame1->setGeometry(QRect(QPoint(0, 0), form_.PanelAbout->size()));
    Image7 = new QLabel(Frame1);
    Image7->setObjectName(QStringLiteral("Image7"));
    Image7->setAlignment(Qt::AlignCenter);
    Image7->setGeometry(Frame1->rect());
    // The artwork is loaded when the page is first shown, not at start-up.
    Frame1->installEventFilter(this);

    connect(form_.PbGetNewPrograms, &QAbstractButton::clicked, this,
            [this] { PbGetNewPrograms_Click(); });
}

void HelpPanels::FillHelpTexts() {
    FillSetUpHelp();
    FillHelpProgramPanel();
}

void HelpPanels::FillSetUpHelp() {
    SetColors(TxtSetUpHelp, TextColor());
    TxtSetUpHelp->SetText(Latin(kSetUpWelcome));
    for (const Topic& topic : kSetUpTopics) {
        TxtSetUpHelp->SetText(TxtSetUpHelp->Text() + kBlankLine + Latin(topic.heading) +
                              kBlankLine + Latin(topic.paragraph));
    }
}

void HelpPanels::FillHelpProgramPanel() {
    SetColors(TxtHelpProgramPanel, TextColor());
    HelpTextBox* box = TxtHelpProgramPanel;
    box->SetText(Latin(kProgramsIntro));
    auto append = [box](const QString& separator, const char* piece) {
        box->SetText(box->Text() + separator + Latin(piece));
    };
    append(kBlankLine, kProgramsSection);
    append(kBlankLine, kProgramsList);
    append(kBlankLine, kProgramButtons);
    for (const char* text : kProgramButtonTexts) {
        append(kBlankLine, text);
    }
    append(kBlankLine, kMessagesSection);
    append(kBlankLine, kMessagesList);
    append(kBlankLine, kMessageButtons);
    append(kBlankLine, kMessageAdd);
    append(kBlankLine, kCautionFirst);
    append(kLineBreak, kCautionSecond);
    for (const char* text : kMessageRest) {
        append(kBlankLine, text);
    }
}

void HelpPanels::PbSetUpHelp_MouseMove() {
    TxtSetUpHelp->setVisible(true);
}

void HelpPanels::TxtSetUpHelp_MouseDown() {
    TxtSetUpHelp->setVisible(true);
}

void HelpPanels::TxtSetUpHelp_MouseMove() {
    TxtSetUpHelp->setVisible(true);
}

void HelpPanels::Image1_MouseMove() {
    TxtSetUpHelp->setVisible(false);
    setup_.LstBoxViewScript->setVisible(false);
}

void HelpPanels::PbHelpPrograms_MouseMove() {
    TxtHelpProgramPanel->setVisible(true);
}

void HelpPanels::TxtHelpProgramPanel_MouseDown() {
    TxtHelpProgramPanel->setVisible(true);
}

void HelpPanels::TxtHelpProgramPanel_MouseMove() {
    TxtHelpProgramPanel->setVisible(true);
}

void HelpPanels::TxtHelpProgramPanel_MouseUp() {
    TxtHelpProgramPanel->setVisible(true);
}

void HelpPanels::Image2_MouseMove() {
    TxtHelpProgramPanel->setVisible(false);
}

void HelpPanels::PbGetNewPrograms_Click() {
    try {
        const std::filesystem::path& folder = form_.AppFolder();
        std::filesystem::path page = folder / "Images" / "programs.html";
        try {
            page = ResolvePath(folder, kProgramsPage);
        } catch (const std::exception&) {
            // The page as spelled: opening it fails like any missing file, silently.
        }
        const std::string file = page.string();
        const std::string directory = folder.string();
        if (shellExecute) {
            shellExecute(form_.hWnd(), "Open", file.c_str(), nullptr, directory.c_str(), 1);
        }
    } catch (...) {
        // Whatever goes wrong opening the page (no browser, no page), the panel carries on.
    }
}

bool HelpPanels::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool onSetUpHelp = watched == setUpHelpBox_ || watched == setUpHelpViewport_;
    const bool onProgramHelp = watched == programHelpBox_ || watched == programHelpViewport_;
    switch (type) {
        case QEvent::MouseMove:
            if (watched == setUpHelpPicture_) {
                PbSetUpHelp_MouseMove();
            } else if (onSetUpHelp) {
                TxtSetUpHelp_MouseMove();
            } else if (watched == image1_) {
                Image1_MouseMove();
            } else if (watched == programHelpPicture_) {
                PbHelpPrograms_MouseMove();
            } else if (onProgramHelp) {
                TxtHelpProgramPanel_MouseMove();
            } else if (watched == image2_) {
                // A move that a control of the page passed on is not one over the background.
                const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
                if (programs_.childAt(at) == nullptr) {
                    Image2_MouseMove();
                }
            }
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (onSetUpHelp) {
                TxtSetUpHelp_MouseDown();
            } else if (onProgramHelp) {
                TxtHelpProgramPanel_MouseDown();
            }
            break;
        case QEvent::MouseButtonRelease:
            if (onProgramHelp) {
                TxtHelpProgramPanel_MouseUp();
            }
            break;
        case QEvent::Show:
            if (watched == Frame1 && Image7->pixmap().isNull()) {
                form_.SetBackground(Image7, kAboutArtwork);
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kestrane
