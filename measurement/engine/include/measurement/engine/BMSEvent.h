#pragma once
// One validated analytics event inside the engine: who logged it (origin), its public or internal
// name, when (timestamp and the previous timestamp of the same name, seconds since 1970; 0 = none), and
// its parameters as BMSValues. The parameters always hold "_o", the origin. Three markers live as
// reserved int64 parameters: "_c" conversion, "_r" realtime, "_dbg" debug.
//
// Creation validates origin and name and sanitises the parameters (BMSEventParameterSanitizer.h);
// refusals are logged and give nothing. An event is a plain value; it is built and changed on one
// queue at a time.

#include <optional>
#include <string>

#include "measurement/engine/BMSPEvent.h"
#include "measurement/engine/BMSValue.h"
#include "measurement/messages/NANOMessage.h"

namespace beacon {

class BMSEvent {
 public:
  // The designated initialiser. An origin that is not forwarded ("+ctm") must be a valid internal
  // origin; public events need a public name; every name must be a valid internal name.
  static std::optional<BMSEvent> initWithOrigin(const std::string& origin, bool isPublic,
                                                const std::string& name, double timestamp,
                                                double previousTimestamp, const BMSParameters& parameters);
  // Copies run the initialiser again under the internal rules.
  std::optional<BMSEvent> copyWithPreviousTimestamp(double previousTimestamp) const;
  std::optional<BMSEvent> copyWithParameters(const BMSParameters& parameters) const;
  std::optional<BMSEvent> copy() const;

  const std::string& origin() const { return origin_; }
  const std::string& name() const { return name_; }
  double timestamp() const { return timestamp_; }
  double previousTimestamp() const { return previousTimestamp_; }
  const BMSEventParameters& parameters() const { return parameters_; }

  // Conversions, "ad_impression" and "_ai" check "value" and "currency".
  bool shouldValidateParams() const;
  bool isConversion() const;
  // true only when value and currency are acceptable; false records "_err" 10 unless an error is there.
  void setConversion(bool conversion);
  // A "_r" of another kind logs 16006 and reads as false.
  bool isRealtime() const;
  void setRealtime(bool realtime);
  bool isDebug() const;
  void setDebug(bool debug);

  // Merges sanitised default parameters under the event's own.
  void applyParameters(const BMSParameters& defaults);
  // Attaches the current screen ("_sn", "_sc", "_si"); true when parameters were added.
  bool addScreenParameters(const BMSParameters& screen);

  // The raw-event message: name, timestamps in milliseconds (truncated, saturated), parameters with
  // items as nested parameter lists.
  BMSPBEvent protoEvent() const;
  // Reads a stored raw event back, items included; nothing when "_o" is missing or not a string.
  static std::optional<BMSEvent> initWithEventProto(const BMSPBEvent& proto);

  BMSPEvent editEvent() const;
  static std::optional<BMSEvent> eventFromEditEvent(const BMSPEvent& editEvent);

 private:
  BMSEvent() = default;

  std::string origin_;
  std::string name_;
  double timestamp_ = 0;
  double previousTimestamp_ = 0;
  BMSEventParameters parameters_;
};

}  // namespace beacon
