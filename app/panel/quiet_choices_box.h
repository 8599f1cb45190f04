// The Setup tab's choices of when the messages stay away (the Quiet button and its pop-up
// FrmQuiet): not over a full-screen window, not while the screen is shared, not under Do Not
// Disturb, and only in the user's hours (weekdays and a time range); and the key that starts and
// stops the flashing from anywhere on the desktop. Every change, by the user
// or from code, is taken at once and written to the quiet choices file; a file that cannot be
// written is said in a message box, and the choice stays in use.
#pragma once

#include "app/panel/panel_context.h"
#include "app/store/quiet_choices.h"

#include <QFrame>
#include <QPushButton>

#include <array>

class QCheckBox;
class QKeySequenceEdit;
class QLabel;
class QTimeEdit;
class QToolButton;

namespace kestrane {

class QuietChoicesBox : public QFrame {
    Q_OBJECT
  public:
    // The pop-up is a child of page, opened by opener (which this box makes, in page too).
    QuietChoicesBox(PanelContext& context, QWidget* page);

    QPushButton* PbQuiet = nullptr;  // opens and closes the pop-up
    QCheckBox* ChkFullScreen = nullptr;
    QCheckBox* ChkShared = nullptr;
    QCheckBox* ChkDoNotDisturb = nullptr;
    QCheckBox* ChkHours = nullptr;
    std::array<QToolButton*, 7> PbDays{};  // Monday first
    QTimeEdit* TxtFrom = nullptr;
    QTimeEdit* TxtTo = nullptr;
    QKeySequenceEdit* TxtKey = nullptr;  // one key with its modifiers; cleared: no key
    QLabel* LblKeyProblem = nullptr;     // why the key does not work; hidden while it does
    QPushButton* PbQuietDone = nullptr;

    // The choices the controls show.
    QuietChoices Choices() const;
    // Shows choices read from the file, without running the change behaviour.
    void ShowChoices(const QuietChoices& choices);

    // The change behaviour: the shared state takes the choices, the file is written and the
    // sources follow.
    void Changed();
    // Says why the chosen key does not work (taken by another program, ...); empty: it does.
    void ShowKeyProblem(const QString& problem);

  private:
    void EnableHours();

    PanelContext& ctx_;
};

}  // namespace kestrane
