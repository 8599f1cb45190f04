// The X window behind a layered widget (x11_surface.h tells the ways it shows content): its
// place, size, mapping, content and the waits for the screen. x11_window.cpp holds the ways of
// plain X, with and without a compositing manager; x11_xwayland.cpp the way under XWayland.
#pragma once

#include "platform/layered/x11_surface.h"
#include "platform/layered/x11_xwayland.h"

// Qt's headers come before Xlib's, whose macros (Status, None, Bool, ...) they cannot stand;
// a file that includes this one includes every other Qt header before it.
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QObject>
#include <QRegion>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::layered::x11 {

// The longest wait for a change to reach the screen; a compositor that has not painted a change
// by then is taken not to paint it at all.
inline constexpr std::chrono::milliseconds kLongestWait(100);

// The X window that shows a layered widget. It follows the widget's place, size, title and
// opacity, and is shown while the widget is - without a compositor only while it has
// something to show, since there an unmapped window is the cheapest way to show nothing and
// mapping one whose content and shape are in place the quickest way to show it.
class Surface : public QObject {
  public:
    Surface(Display* dpy, QWidget* widget);
    ~Surface() override;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Uploads content for the next Present without showing it. Without a compositor, while
    // nothing shows, it becomes the unmapped window's background and shape at once.
    void Prepare(const QImage& content, const QRegion& shape);

    std::optional<Clock::time_point> Present(const QImage& content, const QRegion& shape,
                                             bool usePrepared, bool raise, bool wait,
                                             std::optional<Clock::time_point> due,
                                             const std::function<void()>& justBefore);

    // How long before a change's due time Present must be called for it to end the content
    // that is up in the frame due (under XWayland, while that content is known to be shown).
    std::optional<Clock::duration> Ahead() const;

  protected:
    bool eventFilter(QObject*, QEvent* e) override;

  private:
    // Under XWayland (x11_xwayland.h) the window is mapped only while it shows letters and is
    // then as small as they are; a change is over when the compositor has shown it. Letters
    // are taken away by showing the emptied box and only then unmapping the window, so that
    // the compositor draws the moment they go as well, not only the window's disappearance.
    std::optional<Clock::time_point> PresentOnXWayland(const QImage& content, const QRegion& shape,
                                                       bool usePrepared, bool raise, bool wait,
                                                       std::optional<Clock::time_point> due,
                                                       const std::function<void()>& justBefore);

    // The window's place and size: the widget's, or under XWayland the box of the content in it.
    QRect Geometry() const;

    // The widget's place and size in the server's pixels (never empty: X has no empty windows).
    QRect WidgetGeometry() const;

    // Place, size, title and opacity as the widget has them now.
    void Follow();

    // Mapped while the widget is shown; without a compositor and under XWayland only while
    // there is content.
    void UpdateMapping();

    // The content as a pixmap on the server. 32-bit premultiplied ARGB in host order is the
    // ZPixmap layout of both depths on little-endian X servers; at depth 24 the alpha byte
    // is ignored.
    Pixmap Upload(const QImage& content);

    // A graphics context for pixmaps of the window's depth, made on first use.
    GC Gc(Drawable like);

    void SetBackground(Pixmap pm);

    void DropPrepared();

    Display* dpy_;
    QWidget* widget_;
    Window win_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    Colormap colormap_ = 0;
    QRect geometry_;
    QString title_;
    qreal opacity_ = 1.0;

    bool widgetShown_ = false;
    bool mapped_ = false;
    bool composited_ = false;  // the way in use: real transparency, no bounding shape
    bool blank_ = true;        // the last content put up showed nothing

    GC gc_ = nullptr;
    unsigned hides_ = 0;  // counts the hides; a later repaint of one is dropped once another came
    std::vector<Pixmap> uploaded_;  // pixmaps not yet handed to the window
    Pixmap prepared_ = 0;
    QRegion preparedShape_;
    bool preparedInPlace_ = false;  // already the unmapped window's background and shape

    int timeouts_ = 0;      // waits in a row that saw no painting
    unsigned skipped_ = 0;  // presents not waited for since then

    bool xwayland_ = false;  // the server is XWayland: the window is as large as box_
    QRect box_;              // the part of the widget that the window shows, under XWayland
    std::unique_ptr<XWaylandFrames> frames_;
};

}  // namespace platform::layered::x11
