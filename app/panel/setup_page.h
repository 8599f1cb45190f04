// The Setup tab's page (PanelOptions): the category check list, the two timing boxes, the
// Color, Font and View Script pictures, the Test picture and the preview label.
#pragma once

#include "app/store/category_entry.h"

#include <QFrame>

class QLabel;
class QLineEdit;
class QListWidget;

namespace kestrane {

class PictureButton;

class SetupPage : public QFrame {
    Q_OBJECT
  public:
    explicit SetupPage(QWidget* parent);

    QListWidget* ClbCategories = nullptr;
    QLineEdit* TxtMessageDuration = nullptr;      // at most 3 digits
    QLineEdit* txtTimeBetweenMessages = nullptr;  // at most 2 digits
    PictureButton* PbViewScript = nullptr;
    PictureButton* PbColor = nullptr;
    PictureButton* PBFont = nullptr;
    PictureButton* PbTest = nullptr;
    QLabel* LblWhiteTemp = nullptr;  // opaque box in the system's title-bar text colour
    QLabel* LblWhite = nullptr;      // the preview label on it

    // The list's entries in order with their ticks; the names are the bytes the selection
    // file holds, whatever the list displays.
    CategoryList Categories() const;
    void AddCategory(const CategoryEntry& entry);
};

}  // namespace kestrane
