// Our field tables against the schema of record: protoc, an independent reader and writer of the wire
// format, must read our bytes as the .proto file declares them, and we must read its bytes.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/messages/tests/MessageTestSupport.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;
using platform::Bytes;

// Runs protoc with `arguments`, feeding `input` on standard input; answers its standard output.
std::string protoc(const std::string& arguments, const Bytes& input) {
  platform::testing::TemporaryDirectory folder;
  const auto inputPath = folder.path() / "in.bin";
  const auto outputPath = folder.path() / "out.bin";
  std::ofstream(inputPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
  const std::string command = std::string(VELLORAN_PROTOC) + " -I" + VELLORAN_MESSAGES_PROTO_DIR + " " +
                              arguments + " < " + inputPath.string() + " > " + outputPath.string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::ostringstream output;
  output << std::ifstream(outputPath, std::ios::binary).rdbuf();
  return output.str();
}

std::string decodeWithSchema(const std::string& type, const Bytes& bytes) {
  return protoc("--decode=velloran.measurement." + type + " measurement.proto", bytes);
}

BMSPBMeasurementBatch sampleBatch() {
  BMSPBEvent event =
      testing::event("purchase", 1234, {testing::itemsParam({{testing::intParam("quantity", 2)}})});

  BMSPBUserAttribute attribute;
  NANOSetInt64(attribute, UserAttributeField::kSetTimestampMillis, 99);
  NANOSetString(attribute, UserAttributeField::kName, "_fot");
  NANOSetDouble(attribute, UserAttributeField::kDoubleValue, 0.5);

  BMSPBMeasurementBundle bundle;
  NANOSetInt32(bundle, B::kProtocolVersion, 1);
  NANOSetArray(bundle, B::kEvents, std::vector<BMSPBEvent>{event});
  NANOSetArray(bundle, B::kUserAttributes, std::vector<BMSPBUserAttribute>{attribute});
  NANOSetInt32(bundle, B::kTimeZoneOffsetMinutes, -60);
  NANOSetString(bundle, B::kAppVersion, "1.0");
  NANOSetBool(bundle, B::kLimitedAdTracking, true);
  NANOSetInt32(bundle, B::kTrackingAuthorizationStatus, 3);
  NANOSetArray(bundle, B::kExperimentIDs, std::vector<std::int64_t>{7});
  NANOSetArray(bundle, B::kDataControls, std::vector<std::string>{"dc"});
  NANOSetString(bundle, B::kCorePlatformServices, "psm");

  BMSPBMeasurementBatch batch;
  NANOSetArray(batch, MeasurementBatchField::kBundles, std::vector<BMSPBMeasurementBundle>{bundle});
  return batch;
}

TEST(WireSchema, ABatchReadsAsTheSchemaDeclaresIt) {
  EXPECT_EQ(decodeWithSchema("MeasurementBatch", *sampleBatch().protoBuffer()),
            "bundles {\n"
            "  protocol_version: 1\n"
            "  events {\n"
            "    params {\n"
            "      name: \"items\"\n"
            "      params {\n"
            "        params {\n"
            "          name: \"quantity\"\n"
            "          int_value: 2\n"
            "        }\n"
            "      }\n"
            "    }\n"
            "    name: \"purchase\"\n"
            "    timestamp_millis: 1234\n"
            "  }\n"
            "  user_attributes {\n"
            "    set_timestamp_millis: 99\n"
            "    name: \"_fot\"\n"
            "    double_value: 0.5\n"
            "  }\n"
            "  timezone_offset_minutes: -60\n"
            "  app_version: \"1.0\"\n"
            "  limited_ad_tracking: true\n"
            "  experiment_ids: 7\n"
            "  tracking_authorization_status: TRACKING_AUTHORIZATION_AUTHORIZED\n"
            "  data_controls: \"dc\"\n"
            "  core_platform_services: \"psm\"\n"
            "}\n");
}

TEST(WireSchema, RawFieldNumbersAreTheIDsPlusOne) {
  BMSPBMeasurementBundle bundle;
  NANOSetInt32(bundle, B::kProtocolVersion, 1);
  NANOSetString(bundle, B::kAppID, "a");
  NANOSetInt64(bundle, B::kChecksum, 5);
  NANOSetString(bundle, B::kCorePlatformServices, "b");
  BMSPBMeasurementBatch batch;
  NANOSetArray(batch, MeasurementBatchField::kBundles, std::vector<BMSPBMeasurementBundle>{bundle});
  EXPECT_EQ(protoc("--decode_raw", *batch.protoBuffer()),
            "1 {\n  1: 1\n  15: \"a\"\n  39: 5\n  50: \"b\"\n}\n");
}

TEST(WireSchema, EveryTableFieldHasTheSchemasNumberNameAndKind) {
  // protoc writes each set field by its declared name; a field with the wrong number or kind in our
  // table would show under another name, as an unknown number, or not decode at all.
  BMSPBMeasurementConfig config;
  for (const MessageFieldDescriptor& field : kMeasurementConfigDescriptor.fields) {
    if (hasKind(field.kind, MessageFieldKind::Message)) continue;
    MessageInfo& info = config.messageInfo();
    const bool repeated = hasKind(field.kind, MessageFieldKind::Repeated);
    if (isIntegerKind(field.kind)) {
      repeated ? info.appendInteger(field.id, 1) : info.setInteger(field.id, 1);
    } else {
      repeated ? info.appendText(field.id, "t") : info.setText(field.id, "t");
    }
  }
  const std::string text = decodeWithSchema("MeasurementConfig", *config.protoBuffer());
  for (const MessageFieldDescriptor& field : kMeasurementConfigDescriptor.fields) {
    if (hasKind(field.kind, MessageFieldKind::Message)) continue;
    EXPECT_NE(text.find(std::string(field.name) + ": "), std::string::npos) << field.name << " in\n" << text;
  }
  EXPECT_EQ(text.find("\n1"), std::string::npos) << "unknown numbered fields in\n" << text;
}

TEST(WireSchema, ProtocWritesOurBytesBackUnchanged) {
  // Sub-messages whose length needs one, two and three bytes, every integer width at its extremes,
  // doubles and repeated lists: protoc's own encoding of what it read from us is the same bytes.
  std::vector<BMSPBEventParam> params;
  for (int index = 0; index < 1200; ++index)
    params.push_back(testing::intParam("p" + std::to_string(index), index % 2 ? -index : index << 20));
  params.push_back(testing::doubleParam("d", -0.1));
  params.push_back(testing::itemsParam({{testing::intParam(std::string(130, 'q'), 1)}}));
  BMSPBMeasurementBundle bundle;
  NANOSetArray(bundle, B::kEvents,
               std::vector<BMSPBEvent>{testing::event("big", -1, params), testing::event("small", 1, {})});
  NANOSetInt32(bundle, B::kTimeZoneOffsetMinutes, std::numeric_limits<std::int32_t>::min());
  NANOSetInt64(bundle, B::kStartTimestampMillis, std::numeric_limits<std::int64_t>::max());
  NANOSetInt64(bundle, B::kChecksum, std::numeric_limits<std::int64_t>::min());
  NANOSetArray(bundle, B::kExperimentIDs, std::vector<std::int64_t>{0, 127, 128, -1});
  NANOSetString(bundle, B::kAppID, std::string(200, 'a'));
  const Bytes ours = *bundle.protoBuffer();
  const std::string text = decodeWithSchema("MeasurementBundle", ours);
  const std::string theirs = protoc("--encode=velloran.measurement.MeasurementBundle measurement.proto",
                                    Bytes(text.begin(), text.end()));
  EXPECT_EQ(Bytes(theirs.begin(), theirs.end()), ours);
  EXPECT_GT(ours.size(), 16384u);
}

TEST(WireSchema, WeReadWhatProtocWrites) {
  std::string text =
      "name: \"_e\" timestamp_millis: -5 params { name: \"_et\" int_value: 1000 } "
      "params { name: \"d\" double_value: 1.25 }";
  std::string encoded =
      protoc("--encode=velloran.measurement.Event measurement.proto", Bytes(text.begin(), text.end()));
  std::optional<BMSPBEvent> event = BMSPBEvent::initWithBuffer(Bytes(encoded.begin(), encoded.end()));
  ASSERT_TRUE(event);
  EXPECT_EQ(NANOGetString(*event, EventField::kName), "_e");
  EXPECT_EQ(NANOGetInt64(*event, EventField::kTimestampMillis), -5);
  std::vector<BMSPBEventParam> params = NANOGetArray<BMSPBEventParam>(*event, EventField::kParams);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(NANOGetInt64(params[0], EventParamField::kIntValue), 1000);
  EXPECT_EQ(NANOGetDouble(params[1], EventParamField::kDoubleValue), 1.25);
}

}  // namespace
}  // namespace beacon
