#include "Velloran/app/ScenePhase.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <utility>
#include <vector>

namespace velloran {
namespace {

using Change = std::pair<ScenePhase, ScenePhase>;

TEST(ScenePhaseTest, QtStatesMapToThePhases) {
  EXPECT_EQ(scenePhaseFor(Qt::ApplicationActive), ScenePhase::active);
  EXPECT_EQ(scenePhaseFor(Qt::ApplicationInactive), ScenePhase::inactive);
  EXPECT_EQ(scenePhaseFor(Qt::ApplicationHidden), ScenePhase::background);
  EXPECT_EQ(scenePhaseFor(Qt::ApplicationSuspended), ScenePhase::background);
}

TEST(ScenePhaseTest, ThePhaseAtTheStartIsNoChangeAndEveryLaterChangeIsToldWithBothPhases) {
  std::vector<Change> changes;
  ScenePhaseObserver observer([&changes](ScenePhase from, ScenePhase to) { changes.emplace_back(from, to); });
  const ScenePhase start = observer.phase();
  EXPECT_EQ(start, scenePhaseFor(QGuiApplication::applicationState()));
  EXPECT_TRUE(changes.empty());

  observer.applicationStateChanged(start == ScenePhase::active ? Qt::ApplicationActive
                                                               : Qt::ApplicationInactive);
  EXPECT_TRUE(changes.empty());

  observer.applicationStateChanged(Qt::ApplicationInactive);
  observer.applicationStateChanged(Qt::ApplicationActive);
  observer.applicationStateChanged(Qt::ApplicationHidden);
  observer.applicationStateChanged(Qt::ApplicationSuspended);  // still background
  observer.applicationStateChanged(Qt::ApplicationActive);

  std::vector<Change> expected;
  if (start != ScenePhase::inactive) expected.emplace_back(start, ScenePhase::inactive);
  expected.insert(expected.end(), {{ScenePhase::inactive, ScenePhase::active},
                                   {ScenePhase::active, ScenePhase::background},
                                   {ScenePhase::background, ScenePhase::active}});
  EXPECT_EQ(changes, expected);
}

TEST(ScenePhaseTest, FollowsTheApplicationsStateSignal) {
  std::vector<Change> changes;
  ScenePhaseObserver observer([&changes](ScenePhase from, ScenePhase to) { changes.emplace_back(from, to); });
  const ScenePhase start = observer.phase();
  const Qt::ApplicationState other =
      start == ScenePhase::active ? Qt::ApplicationHidden : Qt::ApplicationActive;
  Q_EMIT qGuiApp->applicationStateChanged(other);
  EXPECT_EQ(changes, (std::vector<Change>{{start, scenePhaseFor(other)}}));
}

}  // namespace
}  // namespace velloran
