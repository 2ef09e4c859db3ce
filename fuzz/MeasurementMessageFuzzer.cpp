// Analytics wire messages from outside (upload batches read back from the queue, raw events, the
// downloaded configuration): decoding any bytes never crashes, and a message that decodes encodes
// again into bytes that decode to the same message.

#include "fuzz/FuzzCheck.h"
#include "measurement/messages/NANOMessage.h"

namespace {

using velloran::fuzz::check;

template <class Message>
void roundTrip(std::span<const std::uint8_t> input) {
  const std::optional<Message> decoded = Message::initWithBuffer(input);
  if (!decoded) return;
  const std::optional<platform::Bytes> encoded = decoded->protoBuffer();
  check(encoded.has_value(), "a decoded message encodes again");
  const std::optional<Message> again = Message::initWithBuffer(*encoded);
  check(again.has_value() && again->messageInfo() == decoded->messageInfo(),
        "the encoding of a decoded message decodes to the same message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  roundTrip<beacon::BMSPBMeasurementBatch>(input);
  roundTrip<beacon::BMSPBEvent>(input);
  roundTrip<beacon::BMSPBUserAttribute>(input);
  roundTrip<beacon::BMSPBMeasurementConfig>(input);
  return 0;
}
