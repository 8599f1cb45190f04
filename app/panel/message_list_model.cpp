#include "app/panel/message_list_model.h"

#include "app/flash/numbers.h"

namespace kestrane {

void MessageListModel::Load(std::string bytes) {
    beginResetModel();
    held_.Load(std::move(bytes),
               rows_ == Rows::Every ? CategoryText::Rows::Every : CategoryText::Rows::IncludedOnly);
    endResetModel();
}

void MessageListModel::Clear() {
    Load({});
}

void MessageListModel::Append(std::string_view text, bool checked) {
    const int row = RowCount();
    beginInsertRows(QModelIndex(), row, row);
    held_.Append(text, checked);
    endInsertRows();
}

void MessageListModel::Change(
    const std::function<void(CategoryText& held, const Changing& changing)>& change) {
    bool reset = false, kept = false;
    const Changing changing = [&](bool rowsKept) {
        kept = rowsKept;
        if (!rowsKept) {
            beginResetModel();
            reset = true;
        }
    };
    try {
        change(held_, changing);
    } catch (...) {
        if (reset) {
            endResetModel();
        }
        throw;
    }
    if (reset) {
        endResetModel();
    } else if (kept && RowCount() > 0) {
        // The same rows with other texts: a view repaints, it need not lay out a million rows.
        emit dataChanged(index(0), index(RowCount() - 1),
                         {Qt::DisplayRole, Qt::EditRole, kBytesRole});
    }
}

int MessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RowCount()) {
        return {};
    }
    const auto row = static_cast<size_t>(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return DisplayText(std::string(Text(row)));
        case Qt::CheckStateRole:
            if (rows_ == Rows::IncludedOnly) {
                return {};
            }
            return Included(row) ? Qt::Checked : Qt::Unchecked;
        case kBytesRole: {
            const std::string_view text = Text(row);
            return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
        }
        default:
            return {};
    }
}

bool MessageListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || rows_ == Rows::IncludedOnly || !index.isValid() ||
        index.row() >= RowCount()) {
        return false;
    }
    const auto row = static_cast<size_t>(index.row());
    const bool checked = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
    if (Included(row) == checked) {
        return true;  // as a list item's unchanged check state: no change reported
    }
    held_.SetIncluded(row, checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return rows_ == Rows::Every ? flags | Qt::ItemIsUserCheckable : flags;
}

}  // namespace kestrane
