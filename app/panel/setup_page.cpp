#include "app/panel/setup_page.h"

#include "app/flash/numbers.h"
#include "app/flash/run_control.h"
#include "app/panel/picture_button.h"
#include "app/panel/twips.h"
#include "platform/layered/layered_window.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace kestrane {

namespace {

constexpr int kNameRole = Qt::UserRole + 1;

// Passes every typed character through DigitsOnly, as the boxes' key-press handlers do.
class DigitsOnlyFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            if (!text.isEmpty() && DigitsOnly(text.at(0).unicode()) == 0) {
                return true;  // the key is discarded
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

QLineEdit* TimingBox(const QString& name, int maxLength, const QRect& geometry, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setMaxLength(maxLength);
    box->setGeometry(geometry);
    box->installEventFilter(new DigitsOnlyFilter(box));
    return box;
}

}  // namespace

SetupPage::SetupPage(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("PanelOptions"));

    ClbCategories = new QListWidget(this);
    ClbCategories->setObjectName(QStringLiteral("ClbCategories"));
    ClbCategories->setGeometry(TwipsRect(435, 810, 3285, 2085));

    TxtMessageDuration =
        TimingBox(QStringLiteral("TxtMessageDuration"), 3, TwipsRect(5505, 825, 585, 285), this);
    txtTimeBetweenMessages = TimingBox(QStringLiteral("txtTimeBetweenMessages"), 2,
                                       TwipsRect(5655, 1920, 540, 285), this);

    PbViewScript = new PictureButton(QStringLiteral("PbViewScript"), tr("View Script"), this);
    PbViewScript->setGeometry(TwipsRect(420, 3465, 915, 315));
    PbColor = new PictureButton(QStringLiteral("PbColor"), tr("Color"), this);
    PbColor->setGeometry(TwipsRect(1455, 3465, 915, 315));
    PBFont = new PictureButton(QStringLiteral("PBFont"), tr("Font"), this);
    PBFont->setGeometry(TwipsRect(2490, 3465, 915, 315));
    PbTest = new PictureButton(QStringLiteral("PbTest"), tr("Test"), this);
    PbTest->setGeometry(TwipsRect(5445, 4035, 915, 315));

    // The preview: an opaque box below the Test picture, the label on it transparent.
    LblWhiteTemp = new QLabel(this);
    LblWhiteTemp->setObjectName(QStringLiteral("LblWhiteTemp"));
    LblWhiteTemp->setGeometry(TwipsRect(4470, 4440, 3390, 780));
    LblWhiteTemp->setAutoFillBackground(true);
    {
        const std::uint32_t c =
            platform::layered::GetSysColor(platform::layered::COLOR_CAPTIONTEXT);
        QPalette pal = LblWhiteTemp->palette();
        pal.setColor(QPalette::Window,
                     QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                            static_cast<int>((c >> 16) & 0xFF)));
        LblWhiteTemp->setPalette(pal);
    }
    LblWhite = new QLabel(LblWhiteTemp);
    LblWhite->setObjectName(QStringLiteral("LblWhite"));
    LblWhite->setTextFormat(Qt::PlainText);
    LblWhite->setAlignment(Qt::AlignCenter);
    LblWhite->setAttribute(Qt::WA_TranslucentBackground);
    LblWhite->setGeometry(QRect(QPoint(0, 0), LblWhiteTemp->size()));
}

CategoryList SetupPage::Categories() const {
    CategoryList out;
    for (int i = 0; i < ClbCategories->count(); ++i) {
        const QListWidgetItem* item = ClbCategories->item(i);
        const QByteArray bytes = item->data(kNameRole).toByteArray();
        out.push_back({bytes.isNull() ? item->text().toStdString() : bytes.toStdString(),
                       item->checkState() == Qt::Checked});
    }
    return out;
}

void SetupPage::AddCategory(const CategoryEntry& entry) {
    auto* item = new QListWidgetItem(DisplayText(entry.name), ClbCategories);
    item->setData(kNameRole, QByteArray::fromStdString(entry.name));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(entry.ticked ? Qt::Checked : Qt::Unchecked);
}

}  // namespace kestrane
