#pragma once
// The scene phase of the application's window, from Qt's application state: active while one of
// the application's windows has the focus, inactive while none has it (also at start, before the
// window is shown), background while the application is hidden or suspended.
//
// ScenePhaseObserver tells its handler each change with the old and the new phase. The phase at
// the moment it is made is not a change: the handler first runs at the first change after that.
// A state Qt reports again without a change of phase (suspended after hidden, say) runs nothing.
//
// Main thread only; the QGuiApplication must exist.

#include <QObject>
#include <functional>

namespace velloran {

enum class ScenePhase { background, inactive, active };

ScenePhase scenePhaseFor(Qt::ApplicationState state);

class ScenePhaseObserver final : public QObject {
 public:
  using Handler = std::function<void(ScenePhase oldPhase, ScenePhase newPhase)>;

  explicit ScenePhaseObserver(Handler handler, QObject* parent = nullptr);

  ScenePhase phase() const { return phase_; }
  // What Qt's state change signal delivers.
  void applicationStateChanged(Qt::ApplicationState state);

 private:
  Handler handler_;
  ScenePhase phase_;
};

}  // namespace velloran
