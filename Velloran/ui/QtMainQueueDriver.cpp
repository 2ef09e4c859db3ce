#include "Velloran/ui/QtMainQueueDriver.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <atomic>
#include <mutex>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/error/Error.h"

namespace velloran {
namespace {

std::atomic<bool> driverExists{false};

QEvent::Type drainEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

// Lives on the main thread and runs the main queue when a drain event reaches it.
class QtMainQueueDriver::DrainTarget final : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != drainEventType()) return QObject::event(event);
    // Inside a main-queue block (a nested event loop) the queue hands the turn back and schedules
    // a fresh one when the outer block is done.
    platform::drainMainQueue();
    return true;
  }

  void post() { QCoreApplication::postEvent(this, new QEvent(drainEventType())); }
};

// The part the main queue holds. It may outlive the driver object (the queue copies it before
// calling it), so it forgets its target under a lock when the driver goes away.
class QtMainQueueDriver::Wake final : public platform::MainQueueDriver {
 public:
  explicit Wake(DrainTarget* target) : target_(target) {}

  void scheduleDrain() override {
    std::lock_guard lock(mutex_);
    // postEvent is safe from any thread; the lock keeps the target alive while posting.
    if (target_ != nullptr) target_->post();
  }

  void detach() {
    std::lock_guard lock(mutex_);
    target_ = nullptr;
  }

 private:
  std::mutex mutex_;
  DrainTarget* target_;
};

QtMainQueueDriver::QtMainQueueDriver() {
  if (!platform::isMainThread()) {
    throw platform::ProgrammerError("QtMainQueueDriverOffMainThread",
                                    "the Qt main-queue driver is made on the main thread");
  }
  if (QCoreApplication::instance() == nullptr) {
    throw platform::ProgrammerError("QtMainQueueDriverWithoutApplication",
                                    "the Qt main-queue driver needs a running Qt application object");
  }
  if (driverExists.exchange(true)) {
    throw platform::ProgrammerError("QtMainQueueDriverTwice", "a Qt main-queue driver is already installed");
  }
  target_ = std::make_unique<DrainTarget>();
  wake_ = std::make_shared<Wake>(target_.get());
  try {
    platform::setMainQueueDriver(wake_);
  } catch (...) {
    wake_->detach();
    driverExists = false;
    throw;
  }
}

QtMainQueueDriver::~QtMainQueueDriver() {
  try {
    platform::setMainQueueDriver(nullptr);
  } catch (const platform::ProgrammerError&) {
    // A test made the deterministic backend current meanwhile; the threaded main queue keeps our
    // wake, which posts nothing once detached, until the next driver replaces it.
  }
  // After detach no thread can still be posting to the target, so it can go.
  wake_->detach();
  target_.reset();
  driverExists = false;
}

}  // namespace velloran
