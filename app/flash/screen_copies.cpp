#include "app/flash/screen_copies.h"

#include "app/flash/trans.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace kestrane {

namespace pl = platform::layered;

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kDesignWidth = 2760;  // twips, as the flash window is designed
constexpr int kDesignHeight = 600;

int ToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

}  // namespace

FlashWindow MakeFlashWindow(const QRect& geometry, std::uint32_t key, QScreen* screen) {
    FlashWindow f;
    f.window = std::make_unique<QWidget>(
        nullptr, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus);
    QWidget* w = f.window.get();
    w->setAttribute(Qt::WA_ShowWithoutActivating);
    w->setWindowTitle(QStringLiteral("messagesform"));
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window,
                 QColor(static_cast<int>(key & 0xFF), static_cast<int>((key >> 8) & 0xFF),
                        static_cast<int>((key >> 16) & 0xFF)));
    w->setPalette(pal);
    if (screen != nullptr) {
        w->setScreen(screen);
    }
    w->setGeometry(geometry);

    f.label = new QLabel(w);
    f.label->setTextFormat(Qt::PlainText);
    f.label->setAttribute(Qt::WA_TranslucentBackground);
    f.label->setAutoFillBackground(false);
    f.label->setWordWrap(false);
    f.label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont designFont(QStringLiteral("Arial"));
    designFont.setPointSize(12);
    f.label->setFont(designFont);
    QPalette text = f.label->palette();
    text.setColor(QPalette::WindowText, QColor(0, 0, 255));
    f.label->setPalette(text);
    f.label->move(ToPixels(30), ToPixels(-45));
    f.hWnd = pl::HandleOf(w);
    return f;
}

ScreenCopies::~ScreenCopies() = default;

void ScreenCopies::Keep(const std::vector<QScreen*>& screens) {
    std::erase_if(copies_, [&](const Copy& c) {
        return c.screen.isNull() ||
               std::find(screens.begin(), screens.end(), c.screen.data()) == screens.end();
    });
    for (QScreen* screen : screens) {
        const bool has = std::any_of(copies_.begin(), copies_.end(),
                                     [&](const Copy& c) { return c.screen == screen; });
        if (has || screen == nullptr) {
            continue;
        }
        Copy c;
        c.screen = screen;
        c.flash = MakeFlashWindow(QRect(screen->geometry().topLeft(),
                                        QSize(ToPixels(kDesignWidth), ToPixels(kDesignHeight))),
                                  key_, screen);
        Trans::MakeTransparent(c.flash.hWnd, key_, 255);
        // A removed screen's copy is emptied at once, since its window would be moved to a
        // screen that shows the message already; it goes at the next message.
        QLabel* label = c.flash.label;
        const pl::HWND h = c.flash.hWnd;
        QObject::connect(screen, &QObject::destroyed, c.flash.window.get(), [label, h] {
            label->clear();
            pl::Present(h);
        });
        copies_.push_back(std::move(c));
    }
}

void ScreenCopies::Follow(const QLabel& label, std::string_view option, Rnd& rnd) {
    for (Copy& c : copies_) {
        if (c.screen.isNull()) {
            continue;
        }
        QLabel* l = c.flash.label;
        if (label.text().isEmpty()) {
            // Nothing shows; the window keeps its place and size, as the flash window does.
            l->clear();
            continue;
        }
        l->setFont(label.font());
        l->setPalette(label.palette());
        l->setText(label.text());
        l->adjustSize();
        const QRect screen = c.screen->geometry();
        c.place =
            PlaceMessage(option, screen.width() * kTwipsPerPixel, screen.height() * kTwipsPerPixel,
                         l->width() * kTwipsPerPixel, l->height() * kTwipsPerPixel, c.place, rnd);
        c.flash.window->setGeometry(screen.x() + ToPixels(c.place.left),
                                    screen.y() + ToPixels(c.place.top), l->width(), l->height());
    }
}

std::vector<pl::HWND> ScreenCopies::Handles() const {
    std::vector<pl::HWND> handles;
    for (const Copy& c : copies_) {
        handles.push_back(c.flash.hWnd);
    }
    return handles;
}

}  // namespace kestrane
