#include "Velloran/views/NavigationHost.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {
namespace {

constexpr int kHeaderPaddingX = 16;
constexpr int kHeaderPaddingY = 10;
constexpr int kHeaderSpacing = 10;

}  // namespace

// One page under its header.
class NavigationHost::Frame final : public QWidget {
 public:
  Frame(NavigationPage* page, const QString& backTitle, NavigationHost* host) : QWidget(host), page_(page) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("navigationHeader"));
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kHeaderPaddingX, kHeaderPaddingY, kHeaderPaddingX, kHeaderPaddingY);
    row->setSpacing(kHeaderSpacing);
    if (!backTitle.isNull()) {
      auto* back = new QToolButton(header);
      back->setObjectName(QStringLiteral("backButton"));
      back->setText(withoutMnemonic(backTitle));
      back->setAccessibleName(backTitle);
      back->setIcon(symbolIcon(QStringLiteral("chevron.left"), accentBlueColor()));
      back->setIconSize(QSize(14, 14));
      back->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      back->setAutoRaise(true);
      back->setCursor(Qt::PointingHandCursor);
      back->setFont(textFont(TextStyle::body));
      back->setStyleSheet(
          QStringLiteral("QToolButton { color: rgb(0, 122, 255); border: none; padding: 4px; }"));
      connect(back, &QToolButton::clicked, host, [host, page] { host->popPage(page); });
      row->addWidget(back);
      backButton_ = back;
    }
    auto* title = new QLabel(header);
    title->setObjectName(QStringLiteral("navigationTitle"));
    title->setTextFormat(Qt::PlainText);
    title->setText(page->pageTitle());
    title->setFont(textFont(TextStyle::title3, QFont::DemiBold));
    row->addWidget(title);
    row->addStretch();
    for (QWidget* item : page->toolbarItems()) {
      item->setParent(header);
      row->addWidget(item);
    }
    column->addWidget(header);

    page->setParent(this);
    column->addWidget(page, 1);
  }

  NavigationPage* page() const { return page_; }
  QAbstractButton* backButton() const { return backButton_; }

 private:
  NavigationPage* page_;
  QAbstractButton* backButton_ = nullptr;
};

NavigationHost::NavigationHost(QWidget* parent) : QWidget(parent), stack_(new QStackedWidget(this)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(stack_);
}

void NavigationHost::setRootPage(NavigationPage* page) {
  while (!frames_.isEmpty()) {
    Frame* frame = frames_.takeLast();
    stack_->removeWidget(frame);
    frame->deleteLater();
  }
  addFrame(page);
}

void NavigationHost::push(NavigationPage* page) {
  addFrame(page);
}

void NavigationHost::addFrame(NavigationPage* page) {
  const QString backTitle = frames_.isEmpty() ? QString() : frames_.last()->page()->pageTitle();
  auto* frame = new Frame(page, backTitle, this);
  frames_.append(frame);
  stack_->addWidget(frame);
  stack_->setCurrentWidget(frame);
  topAnnounced_ = false;
  announceTop();
}

void NavigationHost::pop() {
  if (frames_.size() > 1) popPage(frames_.last()->page());
}

bool NavigationHost::popPage(NavigationPage* page) {
  if (frames_.size() < 2 || frames_.last()->page() != page) return false;
  Frame* frame = frames_.takeLast();
  stack_->removeWidget(frame);
  frame->hide();
  frame->deleteLater();
  stack_->setCurrentWidget(frames_.last());
  topAnnounced_ = false;
  announceTop();
  return true;
}

NavigationPage* NavigationHost::topPage() const {
  return frames_.isEmpty() ? nullptr : frames_.last()->page();
}

QAbstractButton* NavigationHost::backButton() const {
  return frames_.isEmpty() ? nullptr : frames_.last()->backButton();
}

void NavigationHost::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  announceTop();
}

void NavigationHost::announceTop() {
  // A page appears when it is on top of a host that is on screen, once per time it comes to the top.
  if (topAnnounced_ || frames_.isEmpty() || !isVisible()) return;
  topAnnounced_ = true;
  frames_.last()->page()->pageDidAppear();
}

}  // namespace velloran
