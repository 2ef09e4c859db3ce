// The run-time message form and the typed accessors: defaults, kinds, copies and misuse.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;

TEST(MessageFields, UnsetFieldsReadAsZeroFalseOrNothing) {
  BMSPBMeasurementBundle bundle;
  EXPECT_FALSE(NANOHasField(bundle, B::kAppID));
  EXPECT_EQ(NANOGetString(bundle, B::kAppID), std::nullopt);
  EXPECT_EQ(NANOGetInt64(bundle, B::kStartTimestampMillis), 0);
  EXPECT_EQ(NANOGetInt32(bundle, B::kTimeZoneOffsetMinutes), 0);
  EXPECT_FALSE(NANOGetBool(bundle, B::kLimitedAdTracking));
  EXPECT_TRUE(NANOGetArray<BMSPBEvent>(bundle, B::kEvents).empty());
  EXPECT_TRUE(NANOGetArray<std::int64_t>(bundle, B::kExperimentIDs).empty());
  EXPECT_EQ(bundle.messageInfo().setFieldIDs(), std::vector<std::uint32_t>{});
}

TEST(MessageFields, TypedValuesAreStoredByTheFieldsKind) {
  BMSPBMeasurementBundle bundle;
  NANOSetInt32(bundle, B::kTimeZoneOffsetMinutes, -120);
  NANOSetInt32(bundle, B::kBundleIndex, 0x1'0000'0005);  // cut to the field's 32 bits
  NANOSetBool(bundle, B::kDMARegion, true);
  NANOSetInt64(bundle, B::kChecksum, std::numeric_limits<std::int64_t>::min());
  NANOSetString(bundle, B::kPlatform, "linux");

  EXPECT_EQ(NANOGetInt32(bundle, B::kTimeZoneOffsetMinutes), -120);
  EXPECT_EQ(NANOGetInt32(bundle, B::kBundleIndex), 5);
  EXPECT_TRUE(NANOGetBool(bundle, B::kDMARegion));
  EXPECT_EQ(NANOGetInt64(bundle, B::kChecksum), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(NANOGetString(bundle, B::kPlatform), "linux");
  EXPECT_TRUE(NANOHasField(bundle, B::kPlatform));

  NANOSetString(bundle, B::kPlatform, std::nullopt);
  EXPECT_FALSE(NANOHasField(bundle, B::kPlatform));
  NANOClearField(bundle, B::kDMARegion);
  EXPECT_FALSE(NANOHasField(bundle, B::kDMARegion));
  EXPECT_EQ(bundle.messageInfo().setFieldIDs(),
            (std::vector<std::uint32_t>{B::kTimeZoneOffsetMinutes, B::kBundleIndex, B::kChecksum}));
}

TEST(MessageFields, SetArrayReplacesTheListAndConvertsNumbersByFieldKind) {
  BMSPBMeasurementBundle bundle;
  NANOSetArray(bundle, B::kExperimentIDs, std::vector<std::int64_t>{1, 2, 3});
  NANOSetArray(bundle, B::kExperimentIDs,
               std::vector<double>{7.9, -7.9, std::nan(""), 1e300});  // truncated, NaN as 0, saturated
  EXPECT_EQ(NANOGetArray<std::int64_t>(bundle, B::kExperimentIDs),
            (std::vector<std::int64_t>{7, -7, 0, std::numeric_limits<std::int64_t>::max()}));

  BMSPBEventParam param;
  NANOSetDouble(param, EventParamField::kDoubleValue, 2.5);
  EXPECT_EQ(NANOGetDouble(param, EventParamField::kDoubleValue), 2.5);
  NANOSetDouble(param, EventParamField::kDoubleValue, std::nan(""));
  EXPECT_TRUE(BMSPBEventParam(param) == param);  // a message always equals its copy

  NANOSetArray(bundle, B::kDataControls, std::vector<std::string>{"a", "b"});
  EXPECT_EQ(NANOGetArray<std::string>(bundle, B::kDataControls), (std::vector<std::string>{"a", "b"}));
  NANOSetArray(bundle, B::kDataControls, std::vector<std::string>{});
  EXPECT_FALSE(NANOHasField(bundle, B::kDataControls));
}

TEST(MessageFields, MessagesAreDeepCopiesInAndOut) {
  BMSPBEvent event;
  NANOSetString(event, EventField::kName, "_s");
  BMSPBMeasurementBundle bundle;
  NANOSetArray(bundle, B::kEvents, std::vector<BMSPBEvent>{event});

  NANOSetString(event, EventField::kName, "changed after storing");
  std::vector<BMSPBEvent> stored = NANOGetArray<BMSPBEvent>(bundle, B::kEvents);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(NANOGetString(stored[0], EventField::kName), "_s");

  NANOSetString(stored[0], EventField::kName, "changed copy");
  EXPECT_EQ(NANOGetString(NANOGetArray<BMSPBEvent>(bundle, B::kEvents)[0], EventField::kName), "_s");

  BMSPBMeasurementBundle copy = bundle;
  EXPECT_TRUE(copy == bundle);
  NANOSetArray(copy, B::kEvents, std::vector<BMSPBEvent>{});
  EXPECT_TRUE(NANOHasField(bundle, B::kEvents));
  EXPECT_FALSE(copy == bundle);
}

TEST(MessageFields, MisuseIsAProgrammerError) {
  BMSPBMeasurementBundle bundle;
  EXPECT_THROW(NANOHasField(bundle, 15), platform::ProgrammerError);  // an ID the table leaves free
  EXPECT_THROW(NANOSetString(bundle, B::kChecksum, "x"), platform::ProgrammerError);
  EXPECT_THROW(NANOGetInt64(bundle, B::kEvents), platform::ProgrammerError);
  EXPECT_THROW(NANOSetArray(bundle, B::kEvents, std::vector<BMSPBEventParam>{BMSPBEventParam()}),
               platform::ProgrammerError);
  EXPECT_THROW(BMSPBEvent(MessageInfo(kEventParamDescriptor)), platform::ProgrammerError);
}

}  // namespace
}  // namespace beacon
