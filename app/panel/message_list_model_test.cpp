#include "app/panel/message_list_model.h"

#include <gtest/gtest.h>

namespace kestrane {
namespace {

std::vector<std::string> Texts(const MessageListModel& model) {
    std::vector<std::string> out;
    for (size_t i = 0; i < model.Count(); ++i) {
        out.emplace_back(model.Text(i));
    }
    return out;
}

TEST(MessageListModel, ShowsTheLinesOfTheFileByTheReadingRule) {
    MessageListModel model;
    model.Load(
        "\xEF\xBB\xBF"
        "a;1\r\n\r\nb;0\rc\n;1\r\ncaf\xE9;x;0\r\nlast;0");
    EXPECT_EQ(Texts(model), (std::vector<std::string>{"a", "b", "c", "", "caf\xE9", "last"}));
    EXPECT_EQ(model.rowCount(), 6);
    EXPECT_TRUE(model.Checked(0));
    EXPECT_FALSE(model.Checked(1));
    EXPECT_TRUE(model.Checked(2));   // no flag: included
    EXPECT_TRUE(model.Checked(4));   // a flag that is no number: included
    EXPECT_FALSE(model.Checked(5));  // the last line needs no line end
    EXPECT_EQ(model.data(model.index(4), Qt::DisplayRole).toString(),
              QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(model.data(model.index(4), MessageListModel::kBytesRole).toByteArray(), "caf\xE9");
    EXPECT_EQ(model.data(model.index(1), Qt::CheckStateRole).toInt(), Qt::Unchecked);

    // An appended message is a line of its own, even behind a last line without its end.
    model.Append("new", true);
    model.Append("", true);
    EXPECT_EQ(Texts(model),
              (std::vector<std::string>{"a", "b", "c", "", "caf\xE9", "last", "new", ""}));
    EXPECT_FALSE(model.Checked(5));
    EXPECT_TRUE(model.Checked(6));

    // A check mark is the one change a row takes; setting the same one reports nothing.
    int changed = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changed; });
    EXPECT_TRUE(model.setData(model.index(1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(model.setData(model.index(1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(model.setData(model.index(1), "text", Qt::EditRole));
    EXPECT_EQ(changed, 1);
    EXPECT_TRUE(model.Included(1));
    EXPECT_TRUE(model.flags(model.index(1)) & Qt::ItemIsUserCheckable);

    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    model.Load("");
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace kestrane
