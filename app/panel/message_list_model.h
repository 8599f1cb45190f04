// The messages of the category shown on the Programs tab, as a list model over the bytes of its
// file: per message an offset into those bytes and its check mark, never an object, so that a
// category of a million messages shows at once and is written back without a copy of its texts.
//
// A message's text is the bytes of its line up to the first ";" (the reading rule of category
// files); it is decoded for display only when a view asks for the row. The same model lists the
// included messages alone, without check marks, for View Script.
#pragma once

#include "app/store/category_file.h"

#include <QAbstractListModel>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

class MessageListModel : public QAbstractListModel, public MessageItemsView {
    Q_OBJECT
  public:
    // The bytes of a row's text, as a QByteArray.
    static constexpr int kBytesRole = Qt::UserRole + 1;

    enum class Rows { Every, IncludedOnly };

    explicit MessageListModel(QObject* parent = nullptr, Rows rows = Rows::Every)
        : QAbstractListModel(parent), rows_(rows) {}

    // Shows the messages of a category file's bytes (a leading byte-order mark is no text), one
    // row per non-empty line in file order, checked when the line is an included message.
    void Load(std::string bytes);
    void Clear();
    // Appends a message with the given check mark.
    void Append(std::string_view text, bool checked);

    int RowCount() const { return static_cast<int>(starts_.size()); }
    bool Checked(int row) const { return included_[static_cast<size_t>(row)]; }

    // MessageItemsView: what a rewrite of the file reads.
    size_t Count() const override { return starts_.size(); }
    std::string_view Text(size_t i) const override;
    bool Included(size_t i) const override { return included_[i]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // A check mark changed (by the user or from code) is the only change a row takes.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    void Index(size_t from);

    Rows rows_;
    std::string bytes_;
    std::vector<std::uint64_t> starts_;  // where each message's line begins in bytes_
    std::vector<bool> included_;  // one bit per message
};

}  // namespace kestrane
