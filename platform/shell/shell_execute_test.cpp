#include "platform/shell/shell_execute.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include "tests/support/test_support.h"

namespace platform::shell {
namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

TEST(ShellExecuteTest, OpensAddressesAndExistingFiles) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "Open");
    QDesktopServices::setUrlHandler("file", &catcher, "Open");

    EXPECT_GT(ShellExecuteA(0, "Open", "https://example.org/page?x=1", nullptr, nullptr, 1), 32);
    testsupport::TempDir dir;
    testsupport::WriteBytes(dir / "Help.txt", "x");
    const std::string folder = dir.path().string();
    EXPECT_GT(ShellExecuteA(0, "open", "Help.txt", "", folder.c_str(), 1), 32);
    EXPECT_EQ(ShellExecuteA(0, "Open", "Missing.txt", nullptr, folder.c_str(), 1), SE_ERR_FNF);
    EXPECT_EQ(ShellExecuteA(0, "print", "https://example.org", nullptr, nullptr, 1),
              SE_ERR_NOASSOC);

    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.opened.size(), 2);
    EXPECT_EQ(catcher.opened[0], QUrl("https://example.org/page?x=1"));
    EXPECT_EQ(catcher.opened[1], QUrl::fromLocalFile(QString::fromStdString(folder + "/Help.txt")));
}

}  // namespace
}  // namespace platform::shell

#include "shell_execute_test.moc"
