#include "app/panel/list_clicks.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QListWidget>

namespace kestrane {

namespace {

// Runs `click` once for every click or keyboard move in a list, as a list's click event does:
// when the selection changes (a press on another item, a key), and when a click changes no
// selection (a click on the selected item again). A press that selects an item is one click,
// not two.
class ListClicks : public QObject {
  public:
    ListClicks(QListWidget* list, std::function<void()> click)
        : QObject(list), click_(std::move(click)) {
        list->viewport()->installEventFilter(this);
        connect(list, &QListWidget::itemSelectionChanged, this, [this] {
            selectionChanged_ = true;
            click_();
        });
        connect(list, &QListWidget::itemClicked, this, [this] {
            if (!selectionChanged_) {
                click_();
            }
        });
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

// The same for the message list, a view over a model: its selection model reports the moves.
class ViewClicks : public QObject {
  public:
    ViewClicks(QListView* view, std::function<void()> click)
        : QObject(view), click_(std::move(click)) {
        view->viewport()->installEventFilter(this);
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            selectionChanged_ = true;
            click_();
        });
        connect(view, &QAbstractItemView::clicked, this, [this] {
            if (!selectionChanged_) {
                click_();
            }
        });
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            selectionChanged_ = false;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> click_;
    bool selectionChanged_ = false;
};

}  // namespace

void OnListClick(QListWidget* list, std::function<void()> click) {
    new ListClicks(list, std::move(click));
}

void OnListClick(QListView* view, std::function<void()> click) {
    new ViewClicks(view, std::move(click));
}

}  // namespace kestrane
