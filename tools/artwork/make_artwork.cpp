// Draws every picture of the control panel as PNG files into one folder. make-artwork.sh turns
// them into the .jpg and .gif files that ship under Images/.
//
// All pictures share one palette: a light panel background, one blue for actions and
// headings, a darker blue for text, red for the stop state and grey for disabled buttons.
// Positions of the painted labels follow the control positions of the Setup tab
// (twips / 15 = pixels).
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

const QColor kPanel(243, 248, 251);
const QColor kPanelLine(214, 226, 236);
const QColor kBlue(30, 110, 167);
const QColor kBlueHover(20, 86, 138);
const QColor kInk(3, 65, 133);
const QColor kRed(196, 64, 56);
const QColor kRedHover(160, 44, 38);
const QColor kGreen(38, 140, 92);
const QColor kGrey(205, 213, 220);
const QColor kGreyInk(130, 142, 153);
const QColor kWhite(255, 255, 255);

QString g_out;
// Every picture is drawn once as it ships and once at twice the size ("name@2x") for scaled
// screens, from the same drawing code: the painter of a canvas at scale 2 doubles everything.
int g_scale = 1;

QFont UiFont(int pixelSize, bool bold = false) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

void Save(const QImage& img, const QString& name) {
    const QString path =
        g_out + "/" + name + (g_scale == 1 ? "" : QString("@%1x").arg(g_scale)) + ".png";
    if (!img.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QImage Canvas(int w, int h, const QColor& bg = kPanel) {
    QImage img(w * g_scale, h * g_scale, QImage::Format_RGB32);
    img.setDevicePixelRatio(g_scale);
    img.fill(bg);
    return img;
}

void Paint(QImage& img, const std::function<void(QPainter&)>& draw) {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p);
}

// A rounded button with a centred label.
QImage Button(int w, int h, const QString& label, const QColor& fill, const QColor& ink,
              const QColor& bg = kPanel) {
    QImage img = Canvas(w, h, bg);
    Paint(img, [&](QPainter& p) {
        QRectF r(0.5, 0.5, w - 1.0, h - 1.0);
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, fill.lighter(112));
        g.setColorAt(1, fill);
        p.setPen(QPen(fill.darker(115), 1));
        p.setBrush(g);
        p.drawRoundedRect(r, 4, 4);
        p.setPen(ink);
        // The largest bold size up to the button's own that leaves a margin on both sides.
        int size = h >= 28 ? 14 : 11;
        while (size > 8 && QFontMetrics(UiFont(size, true)).horizontalAdvance(label) > w - 8) {
            --size;
        }
        p.setFont(UiFont(size, true));
        p.drawText(QRectF(0, 0, w, h), Qt::AlignCenter, label);
    });
    return img;
}

void ButtonSet(const QString& base, int w, int h, const QString& label, const QColor& fill,
               const QColor& hover) {
    Save(Button(w, h, label, fill, kWhite), base);
    Save(Button(w, h, label, hover, kWhite), base + "_mouse");
    Save(Button(w, h, label, kGrey, kGreyInk), base + "_disable");
}

QImage Tab(int w, int h, const QString& label, bool selected) {
    QImage img = Canvas(w, h, QColor(226, 236, 244));
    Paint(img, [&](QPainter& p) {
        QPainterPath path;
        path.moveTo(0, h);
        path.lineTo(0, 4);
        path.quadTo(0, 0, 4, 0);
        path.lineTo(w - 4, 0);
        path.quadTo(w, 0, w, 4);
        path.lineTo(w, h);
        p.setPen(Qt::NoPen);
        p.setBrush(selected ? kPanel : QColor(206, 222, 235));
        p.drawPath(path);
        if (selected) {
            p.fillRect(QRectF(0, 0, w, 3), kBlue);
        }
        p.setPen(selected ? kInk : QColor(70, 96, 120));
        p.setFont(UiFont(11, selected));
        p.drawText(QRectF(0, 1, w, h), Qt::AlignCenter, label);
    });
    return img;
}

QImage Glyph(int w, int h, const QColor& bg, const std::function<void(QPainter&)>& draw) {
    QImage img = Canvas(w, h, bg);
    Paint(img, draw);
    return img;
}

const QColor kHeaderTop(24, 96, 150);
const QColor kHeaderBottom(16, 70, 118);
constexpr int kHeaderHeight = 96;  // the band behind the title, Close, Hide and Start

QColor HeaderAt(int y) {
    const double t = std::clamp(y / double(kHeaderHeight), 0.0, 1.0);
    return QColor(int(kHeaderTop.red() + t * (kHeaderBottom.red() - kHeaderTop.red())),
                  int(kHeaderTop.green() + t * (kHeaderBottom.green() - kHeaderTop.green())),
                  int(kHeaderTop.blue() + t * (kHeaderBottom.blue() - kHeaderTop.blue())));
}

void Label(QPainter& p, int x, int y, const QString& text, int size = 11, bool bold = false,
           const QColor& ink = kInk) {
    p.setPen(ink);
    p.setFont(UiFont(size, bold));
    p.drawText(QPointF(x, y), text);
}

void SectionBox(QPainter& p, const QRectF& r, const QString& title) {
    p.setPen(QPen(kPanelLine, 1));
    p.setBrush(kWhite);
    p.drawRoundedRect(r, 6, 6);
    Label(p, int(r.x()) + 10, int(r.y()) + 17, title, 12, true, kBlue);
}

void WindowBackground() {
    const int w = 569, h = 509;
    QImage img = Canvas(w, h, QColor(226, 236, 244));
    Paint(img, [&](QPainter& p) {
        QLinearGradient g(0, 0, 0, kHeaderHeight);
        g.setColorAt(0, kHeaderTop);
        g.setColorAt(1, kHeaderBottom);
        p.fillRect(0, 0, w, kHeaderHeight, g);
        // A row of fading bars: the flash of a message.
        for (int i = 0; i < 5; ++i) {
            QColor c(255, 255, 255, 40 + i * 30);
            p.fillRect(QRectF(18 + i * 7, 26, 4, 34), c);
        }
        Label(p, 64, 50, "Veltrane", 26, true, kWhite);
        Label(p, 66, 72, "short messages, flashed while you work", 12, false,
              QColor(200, 222, 240));
        p.fillRect(0, 120, w, h - 120, kPanel);
        p.fillRect(0, 120, w, 1, kPanelLine);
    });
    Save(img, "background");
}

void SetupBackground() {
    // Image1: 8145 x 5370 twips at (0, 15) of the Setup page.
    const int w = 543, h = 358;
    QImage img = Canvas(w, h);
    Paint(img, [&](QPainter& p) {
        auto at = [](int twipsX, int twipsY) { return QPoint(twipsX / 15, twipsY / 15 - 1); };
        // Left: the category list (to y 193) and the count below it; the View Script, Color
        // and Font pictures at y 231; the autostart box at y 311.
        SectionBox(p, QRectF(18, 8, 240, 218), "Veltrane Programs");
        Label(p, at(435, 0).x(), 44, "Tick the programs to flash:", 11);
        const QPoint count = at(2985, 3090);
        Label(p, 30, count.y() + 13, "Included messages:", 11);
        SectionBox(p, QRectF(18, 264, 240, 84), "Start with the computer");
        const QPoint check = at(480, 4665);
        Label(p, check.x() + 17, check.y() + 11, "Start hidden and flashing");
        Label(p, check.x() + 17, check.y() + 25, "when you log on", 10, false, kGreyInk);

        // Right: the two timing boxes, the four positions, the preview.
        SectionBox(p, QRectF(272, 8, 255, 152), "Timing");
        Label(p, 284, at(0, 825).y() + 12, "Display time", 11);
        Label(p, 284, at(0, 825).y() + 26, "(milliseconds)", 10, false, kGreyInk);
        Label(p, 284, at(0, 1920).y() + 12, "Time between", 11);
        Label(p, 284, at(0, 1920).y() + 26, "messages (s)", 10, false, kGreyInk);

        SectionBox(p, QRectF(272, 166, 255, 70), "Position");
        const QPoint center = at(4560, 2955), topLeft = at(5685, 2955);
        const QPoint topRight = at(4560, 3180), random = at(5685, 3180);
        Label(p, center.x() + 15, center.y() + 11, "Center");
        Label(p, topLeft.x() + 15, topLeft.y() + 11, "Top Left");
        Label(p, topRight.x() + 15, topRight.y() + 11, "Top Right");
        Label(p, random.x() + 15, random.y() + 11, "Random");

        SectionBox(p, QRectF(272, 244, 255, 104), "Preview");
    });
    Save(img, "setup_background");
}

void ProgramsBackground() {
    // Image2 fills the Programs page: programs on the left, their messages on the right.
    const int w = 540, h = 359;
    QImage img = Canvas(w, h);
    Paint(img, [&](QPainter& p) {
        SectionBox(p, QRectF(6, 4, 256, 348), "Veltrane Programs");
        SectionBox(p, QRectF(270, 4, 264, 348), "Messages");
    });
    Save(img, "programs_background");
}

void AboutArtwork() {
    const int w = 536, h = 352;
    QImage img = Canvas(w, h, kWhite);
    Paint(img, [&](QPainter& p) {
        QLinearGradient g(0, 0, w, h);
        g.setColorAt(0, QColor(232, 242, 250));
        g.setColorAt(1, kWhite);
        p.fillRect(0, 0, w, h, g);
        for (int i = 0; i < 7; ++i) {
            p.fillRect(QRectF(40 + i * 12, 60, 6, 60), QColor(30, 110, 167, 30 + i * 30));
        }
        Label(p, 140, 104, "Veltrane", 34, true, kBlue);
        Label(p, 40, 168, "Short, positive messages flashed on your screen", 14);
        Label(p, 40, 190, "for a moment while you go on working.", 14);
        Label(p, 40, 236, "Only the letters show, every click passes through,", 12, false,
              QColor(70, 96, 120));
        Label(p, 40, 256, "and the window never takes the focus from your work.", 12, false,
              QColor(70, 96, 120));
        Label(p, 40, 318, "Made by the kestrane project.", 11, false, kGreyInk);
    });
    Save(img, "about_artwork");
}

QImage AppIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    Paint(img, [&](QPainter& p) {
        const double s = size;
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.2, s * 0.2);
        for (int i = 0; i < 3; ++i) {
            p.setBrush(QColor(255, 255, 255, 110 + i * 70));
            p.drawRoundedRect(QRectF(s * (0.2 + i * 0.22), s * 0.22, s * 0.14, s * 0.56), s * 0.04,
                              s * 0.04);
        }
    });
    return img;
}

void DrawAll() {
    WindowBackground();
    SetupBackground();
    ProgramsBackground();
    AboutArtwork();
    if (g_scale == 1) {
        Save(AppIcon(64), "kestrane");
        Save(AppIcon(32), "tray");
        // The menu entry's icon at the usual sizes of the icon theme.
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            Save(AppIcon(size), QStringLiteral("icon_%1").arg(size));
        }
    }

    // Start/Stop (85 x 30) and the preview button (61 x 21) sit on the header and the page.
    Save(Button(85, 30, "Start", kGreen, kWhite, HeaderAt(48)), "startbut");
    Save(Button(85, 30, "Stop", kRed, kWhite, HeaderAt(48)), "stopbut");
    Save(Button(61, 21, "Test", kBlue, kWhite), "Testbut");
    Save(Button(61, 21, "Stop", kRed, kWhite), "stopbut2");

    // Tabs (65 x 20): plain and selected ("_mouse").
    Save(Tab(65, 20, "Setup", false), "setuptab");
    Save(Tab(65, 20, "Setup", true), "setuptab_mouse");
    Save(Tab(65, 20, "Programs", false), "Programstab");
    Save(Tab(65, 20, "Programs", true), "Programstab_mouse");
    Save(Tab(65, 20, "About", false), "about");
    Save(Tab(65, 20, "About", true), "about_mouse");

    // Hide (20 x 31) and Close (23 x 31) on the header band.
    auto headerGlyph = [](int w, int h, bool close) {
        return Glyph(w, h, HeaderAt(20), [=](QPainter& p) {
            p.setPen(QPen(kWhite, 2, Qt::SolidLine, Qt::RoundCap));
            const double cx = w / 2.0, cy = h / 2.0;
            if (close) {
                p.drawLine(QPointF(cx - 5, cy - 5), QPointF(cx + 5, cy + 5));
                p.drawLine(QPointF(cx - 5, cy + 5), QPointF(cx + 5, cy - 5));
            } else {
                p.drawLine(QPointF(cx - 5, cy + 4), QPointF(cx + 5, cy + 4));
            }
        });
    };
    Save(headerGlyph(20, 31, false), "hide");
    Save(headerGlyph(23, 31, true), "close");

    // Spin arrows (16 x 8).
    auto arrow = [](bool up) {
        return Glyph(16, 8, kPanel, [=](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(kBlue);
            QPolygonF tri;
            if (up) {
                tri << QPointF(3, 7) << QPointF(13, 7) << QPointF(8, 1);
            } else {
                tri << QPointF(3, 1) << QPointF(13, 1) << QPointF(8, 7);
            }
            p.drawPolygon(tri);
        });
    };
    Save(arrow(true), "spinup");
    Save(arrow(false), "spindown");

    // Setup tab buttons (61 x 21).
    ButtonSet("viewscript", 61, 21, "View Script", kBlue, kBlueHover);
    ButtonSet("color", 61, 21, "Color", kBlue, kBlueHover);
    ButtonSet("font", 61, 21, "Font", kBlue, kBlueHover);

    // Help pictures (20 x 20) and the link to the programs page (95 x 21).
    auto help = Glyph(20, 20, kPanel, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(1, 1, 18, 18));
        p.setPen(kWhite);
        p.setFont(UiFont(13, true));
        p.drawText(QRectF(0, 0, 20, 20), Qt::AlignCenter, "?");
    });
    Save(help, "help");
    Save(Button(95, 21, "Get programs", kBlue, kWhite, QColor(226, 236, 244)), "getprograms");

    // Programs tab buttons (55 x 21), enabled and disabled.
    struct Named {
        const char* file;
        const char* label;
        QColor fill;
    };
    const Named programs[] = {
        {"createbut", "Create", kBlue}, {"resetbut", "Reset", kGreyInk},
        {"renamebut", "Rename", kBlue}, {"deletebut", "Delete", kRed},
        {"importbut", "Import", kBlue}, {"addbut", "Add", kBlue},
        {"updatebut", "Update", kBlue}, {"excludebut", "Exclude", kBlue},
    };
    for (const auto& b : programs) {
        Save(Button(55, 21, b.label, b.fill, kWhite), b.file);
        Save(Button(55, 21, b.label, kGrey, kGreyInk), QString(b.file) + "_disable");
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork <output folder>\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);

    for (int scale : {1, 2}) {
        g_scale = scale;
        DrawAll();
    }
    return 0;
}
