#include "app/panel/list_clicks.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QListWidget>

namespace kestrane {

namespace {

// Runs `click` once for every click or keyboard move in a list, as a list's click event does:
// when the selection changes (a press on another row, a key), and when a click changes no
// selection (a click on the selected row again). A press that selects a row is one click, not
// two. What reports a selection change is the caller's to connect to moved().
class Clicks : public QObject {
  public:
    Clicks(QAbstractItemView* view, std::function<void()> click)
        : QObject(view), click_(std::move(click)) {
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::clicked, this, [this] {
            if (!selectionChanged_) {
                click_();
            }
        });
    }

    void moved() {
        selectionChanged_ = true;
        click_();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            selectionChanged_ = false;  // this press has changed nothing yet
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> click_;
    bool selectionChanged_ = false;
};

}  // namespace

void OnListClick(QListWidget* list, std::function<void()> click) {
    auto* clicks = new Clicks(list, std::move(click));
    QObject::connect(list, &QListWidget::itemSelectionChanged, clicks, &Clicks::moved);
}

void OnListClick(QListView* view, std::function<void()> click) {
    auto* clicks = new Clicks(view, std::move(click));
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, clicks,
                     &Clicks::moved);
}

}  // namespace kestrane
