#pragma once
// The analytics message classes. Each wraps one MessageInfo of its own table and is a plain value:
// copies are deep, so a message handed out can be changed without touching the original. A default-made
// message is empty; `initWithBuffer` decodes (empty result when the bytes are not such a message);
// `protoBuffer` encodes (empty result when the message cannot be written).
//
// Fields are read and written through the NANO accessors (NANOAccessors.h) by field ID
// (MessageSchema.h). No internal synchronisation: one queue at a time.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "measurement/messages/MessageCodec.h"
#include "measurement/messages/MessageInfo.h"
#include "measurement/messages/MessageSchema.h"
#include "platform/error/Error.h"

namespace beacon {

class NANOMessageBase {
 public:
  const MessageInfo& messageInfo() const { return info_; }
  MessageInfo& messageInfo() { return info_; }

  std::optional<platform::Bytes> protoBuffer() const { return encodeMessage(info_); }

  friend bool operator==(const NANOMessageBase& a, const NANOMessageBase& b) { return a.info_ == b.info_; }

 protected:
  explicit NANOMessageBase(MessageInfo info) : info_(std::move(info)) {}

 private:
  MessageInfo info_;
};

template <const MessageDescriptor& Descriptor>
class BMSPBMessage : public NANOMessageBase {
 public:
  BMSPBMessage() : NANOMessageBase(MessageInfo(Descriptor)) {}
  // Wraps a message of this table; any other table is a programmer error.
  explicit BMSPBMessage(MessageInfo info) : NANOMessageBase(checked(std::move(info))) {}

  static const MessageDescriptor& descriptor() { return Descriptor; }

  static std::optional<BMSPBMessage> initWithBuffer(std::span<const std::uint8_t> bytes) {
    std::optional<MessageInfo> decoded = decodeMessage(Descriptor, bytes);
    if (!decoded) return std::nullopt;
    return BMSPBMessage(std::move(*decoded));
  }

 private:
  static MessageInfo checked(MessageInfo info) {
    if (&info.descriptor() != &Descriptor)
      throw platform::ProgrammerError("MessageFieldMisuse", std::string("a ") + info.descriptor().name +
                                                                " wrapped as " + Descriptor.name);
    return info;
  }
};

using BMSPBMeasurementBatch = BMSPBMessage<kMeasurementBatchDescriptor>;
using BMSPBMeasurementBundle = BMSPBMessage<kMeasurementBundleDescriptor>;
using BMSPBMeasurementConfig = BMSPBMessage<kMeasurementConfigDescriptor>;
using BMSPBAudience = BMSPBMessage<kAudienceDescriptor>;
using BMSPBAudienceResult = BMSPBMessage<kAudienceResultDescriptor>;
using BMSPBEvent = BMSPBMessage<kEventDescriptor>;
using BMSPBEventParam = BMSPBMessage<kEventParamDescriptor>;
using BMSPBUserAttribute = BMSPBMessage<kUserAttributeDescriptor>;
using BMSPBSequenceFilterResultTimestamp = BMSPBMessage<kSequenceFilterResultTimestampDescriptor>;
using BMSPBSetting = BMSPBMessage<kSettingDescriptor>;
using BMSPBEventConfig = BMSPBMessage<kEventConfigDescriptor>;
using BMSPBConsentEntry = BMSPBMessage<kConsentEntryDescriptor>;
using BMSPBRegionalConsentDefaults = BMSPBMessage<kRegionalConsentDefaultsDescriptor>;

}  // namespace beacon
