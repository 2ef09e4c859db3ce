#include "Velloran/app/ScenePhase.h"

#include <QGuiApplication>

namespace velloran {

ScenePhase scenePhaseFor(Qt::ApplicationState state) {
  switch (state) {
    case Qt::ApplicationActive:
      return ScenePhase::active;
    case Qt::ApplicationInactive:
      return ScenePhase::inactive;
    case Qt::ApplicationHidden:
    case Qt::ApplicationSuspended:
      return ScenePhase::background;
  }
  return ScenePhase::inactive;
}

ScenePhaseObserver::ScenePhaseObserver(Handler handler, QObject* parent)
    : QObject(parent),
      handler_(std::move(handler)),
      phase_(scenePhaseFor(QGuiApplication::applicationState())) {
  connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) { applicationStateChanged(state); });
}

void ScenePhaseObserver::applicationStateChanged(Qt::ApplicationState state) {
  const ScenePhase newPhase = scenePhaseFor(state);
  if (newPhase == phase_) return;
  const ScenePhase oldPhase = phase_;
  phase_ = newPhase;
  handler_(oldPhase, newPhase);
}

}  // namespace velloran
