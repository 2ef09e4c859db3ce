// The runtime this build offers: none, announced as version 0; and the contract a runtime keeps with
// the pipeline, shown by a program that renames an event and creates one more.

#include <gtest/gtest.h>

#include "measurement/engine/BMSEvent.h"
#include "measurement/script/BMSEventEditingRuntime.h"

namespace beacon {
namespace {

TEST(EventEditingRuntime, AnnouncesThatNoProgramCanRun) {
  EXPECT_EQ(BMSPRuntime::runtimeVersion(), 0);
}

// Renames every event to "edited" and asks for one "created" event of origin "script".
class RenamingRuntime : public BMSEventEditingRuntime {
 public:
  bool handleEvent(const BMSPEvent& event, std::string& error) override {
    if (event.name().empty()) {
      error = "no name";
      return false;
    }
    context_.outputEvent = BMSPEvent("edited", event.timestamp(), event.parameters());
    context_.eventsToLog = {BMSPEvent("created", event.timestamp(), {{"_o", "script"}})};
    return true;
  }
  bool hasEdits() const override { return context_.outputEvent.has_value(); }
  bool hasCreatedEvents() const override { return !context_.eventsToLog.empty(); }
  const BMSEventEditingContext& eventContext() const override { return context_; }

 private:
  BMSEventEditingContext context_;
};

TEST(EventEditingRuntime, EditedAndCreatedEventsComeBackAsEngineEvents) {
  auto event = BMSEvent::initWithOrigin("app", true, "level_up", 10, 0, {{"level", platform::Value(3)}});
  ASSERT_TRUE(event);
  RenamingRuntime runtime;
  std::string error;
  ASSERT_TRUE(runtime.handleEvent(event->editEvent(), error));
  ASSERT_TRUE(runtime.hasEdits());
  ASSERT_TRUE(runtime.hasCreatedEvents());

  auto edited = BMSEvent::eventFromEditEvent(*runtime.eventContext().outputEvent);
  ASSERT_TRUE(edited);
  EXPECT_EQ(edited->name(), "edited");
  EXPECT_EQ(edited->origin(), "app");
  EXPECT_EQ(edited->parameters().at("level"), BMSValue::initWithInt64(3));

  auto created = BMSEvent::eventFromEditEvent(runtime.eventContext().eventsToLog.front());
  ASSERT_TRUE(created);
  EXPECT_EQ(created->origin(), "script");
  EXPECT_EQ(created->timestamp(), 10);

  EXPECT_FALSE(runtime.handleEvent(BMSPEvent("", 1, {}), error));
  EXPECT_EQ(error, "no name");
}

}  // namespace
}  // namespace beacon
