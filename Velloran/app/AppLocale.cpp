#include "Velloran/app/AppLocale.h"

#include <unicode/locid.h>

#include <QLocale>

namespace velloran {

bool isNeutralLocaleName(std::string_view name) {
  // What the Unicode library makes of "C", "POSIX" and no locale at all.
  return name == "en_US_POSIX" || name == "c" || name == "C" || name == "POSIX" || name.empty();
}

void adoptAppLanguageForNeutralLocale() {
  if (!isNeutralLocaleName(icu::Locale::getDefault().getName())) return;
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale(kAppLocaleName), status);
  QLocale::setDefault(QLocale(QString::fromUtf8(kAppLocaleName)));
}

}  // namespace velloran
