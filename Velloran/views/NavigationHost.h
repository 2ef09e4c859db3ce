#pragma once
// The window's page stack: a root page and pages pushed over it, each under a header with its title,
// its toolbar items and, below the root, a back button (a chevron and the title of the page beneath)
// that returns to the page beneath. Only the top page is visible.
//
// A page learns each time it becomes the visible top page (pageDidAppear): when the host is first
// shown, and whenever the page above it is popped.
//
// Ownership: the host owns its pages; a popped page is deleted once the current event is done, so a
// page may pop itself from inside one of its own handlers. Main thread only.

#include <QList>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QStackedWidget;

namespace velloran {

class NavigationPage : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  virtual QString pageTitle() const = 0;
  // Widgets for the header's trailing end, in order; the host re-parents them into the header.
  virtual QList<QWidget*> toolbarItems() { return {}; }
  // The page has become the visible top page.
  virtual void pageDidAppear() {}
};

class NavigationHost final : public QWidget {
  Q_OBJECT

 public:
  explicit NavigationHost(QWidget* parent = nullptr);

  void setRootPage(NavigationPage* page);
  void push(NavigationPage* page);
  // Back to the page beneath the top one; the root page stays.
  void pop();
  // Pops `page` only while it is the top page (a page closing itself after the user already left
  // it changes nothing). True when it was popped.
  bool popPage(NavigationPage* page);

  NavigationPage* topPage() const;
  int depth() const { return static_cast<int>(frames_.size()); }
  // The top page's back button; nullptr on the root page.
  QAbstractButton* backButton() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  class Frame;

  void addFrame(NavigationPage* page);
  void announceTop();

  QStackedWidget* stack_;
  QList<QPointer<Frame>> frames_;
  bool topAnnounced_ = false;
};

}  // namespace velloran
