#include "platform/text/Format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

struct Described {
  std::string description() const { return "<described>"; }
};

TEST(TextFormat, WritesMessageCodesAndObjectTexts) {
  EXPECT_EQ(platform::format("I-COR%06ld", 3), "I-COR000003");
  EXPECT_EQ(
      platform::format("%@ - %@[%@] %@", std::string("12.4.0"), "[BeaconCore]", "I-COR000027", "Nachricht"),
      "12.4.0 - [BeaconCore][I-COR000027] Nachricht");
  EXPECT_EQ(platform::format("Sync-Fehler: %@", std::string_view("Netzwerk nicht erreichbar")),
            "Sync-Fehler: Netzwerk nicht erreichbar");
  EXPECT_EQ(platform::format("Prompt kopiert: %@", "Übersicht"), "Prompt kopiert: Übersicht");
  EXPECT_EQ(platform::format("%@%c_%lld:%@", "1", 'E', 1234567LL, "boom"), "1E_1234567:boom");
  EXPECT_EQ(platform::format("%@ (%li)", "Schlüsselablage", -25299L), "Schlüsselablage (-25299)");
}

TEST(TextFormat, IntegerConversionsHonourFlagsWidthAndPrecision) {
  EXPECT_EQ(platform::format("%d|%i|%u", -7, 42, 7u), "-7|42|7");
  EXPECT_EQ(platform::format("%02d:%02d", 5, 12), "05:12");
  EXPECT_EQ(platform::format("[%5d][%-5d][%+d][% d]", 42, 42, 42, 42), "[   42][42   ][+42][ 42]");
  EXPECT_EQ(platform::format("%.3d", 7), "007");
  EXPECT_EQ(platform::format("%x %X %#x %o %02x", 255, 255, 255, 8, 10), "ff FF 0xff 10 0a");
  EXPECT_EQ(platform::format("%lld %llu", INT64_MIN, UINT64_MAX),
            "-9223372036854775808 18446744073709551615");
  // The argument decides the width, not the length modifier.
  EXPECT_EQ(platform::format("%d", INT64_MAX), "9223372036854775807");
  EXPECT_EQ(platform::format("%d", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(platform::format("%lu", -1), "18446744073709551615");
  EXPECT_EQ(platform::format("%d %d", true, false), "1 0");
}

TEST(TextFormat, FloatingConversionsHonourPrecisionAndConvert) {
  EXPECT_EQ(platform::format("%f", 1.5), "1.500000");
  EXPECT_EQ(platform::format("%.2f|%0.f|%8.3f|%-8.1f|", 3.14159, 2.5, 2.0, 2.0), "3.14|2|   2.000|2.0     |");
  EXPECT_EQ(platform::format("%e %g", 12345.678, 0.0001), "1.234568e+04 0.0001");
  EXPECT_EQ(platform::format("%f", 3), "3.000000");  // an integer under a floating conversion converts
  EXPECT_EQ(platform::format("%d", 3.9), "3");       // and the other way round, truncating
  EXPECT_EQ(platform::format("%@ %@", 0.1, 3.0), "0.1 3");
}

// A German process locale writes "2,5"; the build generates one into a folder of its own
// (VELLORAN_TEST_LOCALES), so the test runs on machines that have no German locale installed.
TEST(TextFormat, NumbersIgnoreTheProcessLocale) {
  testing::ScopedEnvironment environment;
  environment.set("LOCPATH", VELLORAN_TEST_LOCALES);
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr)
      << "no German locale in " << VELLORAN_TEST_LOCALES;
  const std::string formatted = platform::format("%.1f", 2.5);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(formatted, "2.5");
}

TEST(TextFormat, ObjectConversionDescribesEachKind) {
  EXPECT_EQ(platform::format("%@", Value(42)), "42");
  EXPECT_EQ(platform::format("%@", Value("text")), "text");
  EXPECT_EQ(platform::format("%@", Value(Array{Value(1), Value("a")})),
            Value(Array{Value(1), Value("a")}).description());
  EXPECT_EQ(platform::format("%ld", Value(12)), "12");
  EXPECT_EQ(platform::format("%@", Described{}), "<described>");

  auto shared = std::make_shared<Described>();
  std::shared_ptr<Described> none;
  const char* nullText = nullptr;
  EXPECT_EQ(platform::format("%@ %@ %@", shared, none, nullText), "<described> (null) (null)");
  EXPECT_EQ(platform::format("%@|%@", std::optional<std::string>("x"), std::optional<int>()), "x|(null)");
  EXPECT_EQ(platform::format("%@", nullptr), "(null)");
}

TEST(TextFormat, TextConversionsPadAndCutByScalars) {
  EXPECT_EQ(platform::format("[%5@][%-5s]", "ä", "ö"), "[    ä][ö    ]");
  EXPECT_EQ(platform::format("%.2s", "äöü"), "äö");
  EXPECT_EQ(platform::format("%c%c", U'ß', 'x'), "ßx");
  EXPECT_EQ(platform::format("%c", -1), "\uFFFD");
}

TEST(TextFormat, PointersPrintAsHexAddresses) {
  int object = 0;
  const std::string expected = platform::format("%#lx", reinterpret_cast<std::uintptr_t>(&object));
  EXPECT_EQ(platform::format("%p", &object), expected);
  EXPECT_EQ(platform::format("%p", static_cast<int*>(nullptr)), "0x0");
}

TEST(TextFormat, MalformedFormatsAreWrittenBareNeverMisread) {
  // No argument list at all: the format is the message, "%" included.
  EXPECT_EQ(platform::format("100% sicher %d %%"), "100% sicher %d %%");
  EXPECT_EQ(formatArguments("%@ bleibt", {}), "%@ bleibt");
  // Missing arguments leave their conversions as they were written.
  EXPECT_EQ(platform::format("%@ und %06ld und %@", "a"), "a und %06ld und %@");
  // Surplus arguments are ignored.
  EXPECT_EQ(platform::format("nur %d", 1, 2, "drei"), "nur 1");
  // Unknown conversions, writes through %n and argument-taken widths are not performed.
  EXPECT_EQ(platform::format("%k %n %*d|%d", 5), "%k %n %*d|5");
  EXPECT_EQ(platform::format("Ende %", 1), "Ende %");
  EXPECT_EQ(platform::format("%99999999d", 1), "%99999999d");
  EXPECT_EQ(platform::format("%5%|%d", 9), "%|9");
}

TEST(TextFormat, MismatchedKindsWriteTheArgumentText) {
  EXPECT_EQ(platform::format("%d", "zwölf"), "zwölf");
  EXPECT_EQ(platform::format("%f|%p", "x", 1.5), "x|1.5");
  EXPECT_EQ(platform::format("%s", 7), "7");
}

TEST(TextFormat, ForwardsACollectedArgumentList) {
  std::vector<FormatArgument> arguments{FormatArgument("a"), FormatArgument(2)};
  EXPECT_EQ(formatArguments("%@=%d", arguments), "a=2");
}

}  // namespace
}  // namespace platform
