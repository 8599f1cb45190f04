// The messages of the category shown on the Programs tab, as a list model over the bytes of its
// file held with an index of its lines (CategoryText): per message an offset into those bytes
// and its check mark, never an object, so that a category of a million messages shows at once,
// is written back without a copy of its texts, and changes in place with every rewrite.
//
// A message's text is the bytes of its line up to the first ";" (the reading rule of category
// files); it is decoded for display only when a view asks for the row. The same model lists the
// included messages alone, without check marks, for View Script.
#pragma once

#include "app/store/category_text.h"

#include <QAbstractListModel>

#include <functional>
#include <string>
#include <string_view>

namespace kestrane {

class MessageListModel : public QAbstractListModel {
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
    // Runs change on the held text (a rewrite that changes messages in place). Change calls the
    // function it is given just before the held text changes, saying whether the rows stay (only
    // texts change: the rows are reported changed) or may come and go (the rows are reset); a
    // change that fails before that changes no row.
    using Changing = std::function<void(bool rowsKept)>;
    void Change(const std::function<void(CategoryText& held, const Changing& changing)>& change);

    int RowCount() const { return static_cast<int>(held_.Count()); }
    bool Checked(int row) const { return held_.Included(static_cast<size_t>(row)); }
    size_t Count() const { return held_.Count(); }
    std::string_view Text(size_t i) const { return held_.Text(i); }
    bool Included(size_t i) const { return held_.Included(i); }
    // What a rewrite of the file reads; RewriteFromList may bring it into the written form
    // (the same messages), which changes no row.
    CategoryText& Held() { return held_; }
    const CategoryText& Held() const { return held_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // As the list model's, without its virtual calls: a view lays out every row through it.
    QModelIndex index(int row, int column = 0,
                      const QModelIndex& parent = QModelIndex()) const override {
        return column == 0 && row >= 0 && row < RowCount() && !parent.isValid()
                   ? createIndex(row, 0)
                   : QModelIndex();
    }
    QVariant data(const QModelIndex& index, int role) const override;
    // A check mark changed (by the user or from code) is the only change a row takes.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    Rows rows_;
    CategoryText held_;
};

}  // namespace kestrane
