#include "Velloran/app/QtWorkspace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QObject>
#include <QUrl>
#include <thread>

namespace velloran {
namespace {

// Stands in for the desktop's handler of one scheme.
class SchemeHandler final : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public Q_SLOTS:
  void open(const QUrl& url) { opened.append(url); }
};

class QtWorkspaceTest : public ::testing::Test {
 protected:
  QtWorkspaceTest() { QDesktopServices::setUrlHandler(QStringLiteral("velloran-test"), &handler_, "open"); }
  ~QtWorkspaceTest() override { QDesktopServices::unsetUrlHandler(QStringLiteral("velloran-test")); }

  SchemeHandler handler_;
  QtWorkspace workspace_;
};

TEST_F(QtWorkspaceTest, HandsAURLToTheHandlerOfItsScheme) {
  EXPECT_TRUE(workspace_.openURL("velloran-test://store/app/id42?action=write-review"));
  ASSERT_EQ(handler_.opened.size(), 1);
  EXPECT_EQ(handler_.opened[0].toString(),
            QStringLiteral("velloran-test://store/app/id42?action=write-review"));
}

TEST_F(QtWorkspaceTest, RefusesTextWithoutAScheme) {
  EXPECT_FALSE(workspace_.openURL("just some words"));
  EXPECT_FALSE(workspace_.openURL(""));
  EXPECT_TRUE(handler_.opened.isEmpty());
}

TEST_F(QtWorkspaceTest, ACallFromAnotherThreadIsCarriedToTheMainThread) {
  bool accepted = false;
  std::thread caller([&] { accepted = workspace_.openURL("velloran-test://elsewhere"); });
  caller.join();
  EXPECT_TRUE(accepted);
  EXPECT_TRUE(handler_.opened.isEmpty());
  QCoreApplication::processEvents();
  ASSERT_EQ(handler_.opened.size(), 1);
  EXPECT_EQ(handler_.opened[0].toString(), QStringLiteral("velloran-test://elsewhere"));
}

}  // namespace
}  // namespace velloran

#include "QtWorkspaceTest.moc"
