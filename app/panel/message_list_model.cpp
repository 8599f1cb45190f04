#include "app/panel/message_list_model.h"

#include "app/flash/numbers.h"
#include "app/store/text_file.h"

#include <cstring>

namespace kestrane {

void MessageListModel::Load(std::string bytes) {
    beginResetModel();
    bytes_ = std::move(bytes);
    starts_.clear();
    included_.clear();
    Index(bytes_.size() - WithoutBom(bytes_).size());
    endResetModel();
}

void MessageListModel::Clear() {
    Load({});
}

namespace {

// Whether a line is an included message, as LineIncluded says, with the flags the program writes
// read at once.
bool LineIsIncluded(const char* line, size_t length) {
    const void* semi = std::memchr(line, ';', length);
    if (semi == nullptr) {
        return true;
    }
    const char* flag = static_cast<const char*>(semi) + 1;
    const size_t rest = length - static_cast<size_t>(flag - line);
    if (rest == 1 && (*flag == '1' || *flag == '0')) {
        return *flag == '1';
    }
    return LineIncluded(std::string_view(line, length));
}

}  // namespace

void MessageListModel::Index(size_t from) {
    const char* const data = bytes_.data();
    const char* const end = data + bytes_.size();
    // About one message per 40 bytes, as short messages are: few reallocations on the way.
    starts_.reserve((bytes_.size() - from) / 32 + 1);
    included_.reserve(starts_.capacity());
    const char* p = data + from;
    while (p < end) {
        // The line ends at the first CR or LF: the next LF is found fast, then a CR before it.
        const auto* lf =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = lf ? lf : end;
        const auto* cr =
            static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(stop - p)));
        const char* e = cr ? cr : stop;
        if (e > p) {
            const bool included = LineIsIncluded(p, static_cast<size_t>(e - p));
            if (included || rows_ == Rows::Every) {
                starts_.push_back(static_cast<std::uint64_t>(p - data));
                included_.push_back(included);
            }
        }
        if (e == end) {
            break;
        }
        p = e + 1;
        if (*e == '\r' && p < end && *p == '\n') {
            ++p;
        }
    }
}

void MessageListModel::Append(std::string_view text, bool checked) {
    const int row = RowCount();
    beginInsertRows(QModelIndex(), row, row);
    if (!bytes_.empty() && bytes_.back() != '\r' && bytes_.back() != '\n') {
        bytes_ += "\r\n";
    }
    const size_t start = bytes_.size();
    bytes_ += text;
    bytes_ += ";1\r\n";
    // A text is the bytes up to a ";" or a line end; an added one cannot hold either. One that
    // is empty still makes a row: its line ";1" is not empty.
    starts_.push_back(start);
    included_.push_back(checked);
    endInsertRows();
}

std::string_view MessageListModel::Text(size_t i) const {
    const char* const begin = bytes_.data() + starts_[i];
    const char* const end = bytes_.data() + bytes_.size();
    const char* p = begin;
    while (p < end && *p != ';' && *p != '\r' && *p != '\n') {
        ++p;
    }
    return std::string_view(begin, static_cast<size_t>(p - begin));
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
            return included_[row] ? Qt::Checked : Qt::Unchecked;
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
    if (included_[row] == checked) {
        return true;  // as a list item's unchanged check state: no change reported
    }
    included_[row] = checked;
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
