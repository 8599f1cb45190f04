// Dialogs for tests: every message box is recorded and answered from a script, and the
// common dialogs apply scripted choices (or a cancel) to the state.
#pragma once

#include "platform/dialogs/dialogs.h"

#include <QStringList>

#include <deque>
#include <functional>

namespace platform {

class ScriptedDialogs : public Dialogs {
  public:
    struct Shown {
        QString prompt;
        MsgBoxStyle style;
        QString title;
    };

    // Message boxes shown so far, oldest first.
    std::vector<Shown> shown;
    // Answers for OkCancel boxes, taken in order; Ok when the script is empty.
    std::deque<MsgBoxResult> answers;
    // Each common dialog call takes the next action; an empty queue means cancel.
    std::deque<std::function<void(CommonDialogState&)>> colorChoices, fontChoices, openChoices;
    int colorCalls = 0, fontCalls = 0, openCalls = 0;

    MsgBoxResult MsgBox(const QString& prompt, MsgBoxStyle style, const QString& title) override {
        shown.push_back({prompt, style, title});
        if (style == MsgBoxStyle::OkOnly || answers.empty()) {
            return MsgBoxResult::Ok;
        }
        const MsgBoxResult r = answers.front();
        answers.pop_front();
        return r;
    }
    void ShowColor(CommonDialogState& state) override { Take(colorChoices, state, colorCalls); }
    void ShowFont(CommonDialogState& state) override { Take(fontChoices, state, fontCalls); }
    void ShowOpen(CommonDialogState& state) override {
        ++openCalls;
        if (openChoices.empty()) {
            state.fileName.clear();
            state.fileTitle.clear();
            return;
        }
        auto choice = std::move(openChoices.front());
        openChoices.pop_front();
        choice(state);
    }

    QStringList prompts() const {
        QStringList out;
        for (const auto& s : shown) {
            out << s.prompt;
        }
        return out;
    }

  private:
    static void Take(std::deque<std::function<void(CommonDialogState&)>>& queue,
                     CommonDialogState& state, int& calls) {
        ++calls;
        if (queue.empty()) {
            return;  // cancelled: the state keeps what it held
        }
        auto choice = std::move(queue.front());
        queue.pop_front();
        choice(state);
    }
};

}  // namespace platform
