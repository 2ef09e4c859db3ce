#pragma once
// A two-way binding of a Boolean preference, the way a settings control sees it: value() reads the
// key (a default while nothing is stored), setValue() writes it, and `onChange` runs whenever the
// stored reading really changes - whoever wrote it (this binding, another binding of the same key,
// the analytics service). Writing the value it already has, or an unrelated key changing, calls
// nothing; so a control never hears its own initial value.
//
// Changes are heard through the domain's change notification, which the domain posts on the thread
// that wrote. Bindings live on the main thread and every writer of these keys runs there too; a
// change written elsewhere is still read correctly on the next value() but reaches `onChange` only
// on the thread that wrote it, so such writers must not exist for bound keys.

#include <functional>
#include <memory>
#include <string>

#include "platform/notify/NotificationCenter.h"
#include "platform/prefs/PreferencesDomain.h"

namespace velloran {

class BoolPreferenceBinding {
 public:
  BoolPreferenceBinding(std::shared_ptr<platform::PreferencesDomain> domain, std::string key,
                        bool defaultValue, std::function<void(bool)> onChange = {});
  BoolPreferenceBinding(const BoolPreferenceBinding&) = delete;
  BoolPreferenceBinding& operator=(const BoolPreferenceBinding&) = delete;

  bool value() const;
  void setValue(bool value);

 private:
  void domainChanged();

  std::shared_ptr<platform::PreferencesDomain> domain_;
  std::string key_;
  bool defaultValue_;
  std::function<void(bool)> onChange_;
  bool lastSeen_;
  platform::ObserverToken observation_;
};

}  // namespace velloran
