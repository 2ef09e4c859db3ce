#include "platform/plist/PropertyList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <limits>

#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::string asText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

Value roundTrip(const Value& value, PropertyListFormat format) {
  Result<Bytes> written = writePropertyList(value, format);
  EXPECT_TRUE(written.ok()) << written.error().debugDescription();
  Result<Value> read = readPropertyList(*written);
  EXPECT_TRUE(read.ok()) << read.error().debugDescription();
  return read.ok() ? *read : Value();
}

// A binary property list whose only object is the given encoded object.
Bytes singleObjectBinary(const Bytes& object) {
  Bytes data{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  data.insert(data.end(), object.begin(), object.end());
  auto offsetTableOffset = static_cast<std::uint8_t>(data.size());
  data.push_back(8);  // the object's offset
  Bytes trailer(32, 0);
  trailer[6] = 1;   // offset size
  trailer[7] = 1;   // object reference size
  trailer[15] = 1;  // object count
  trailer[31] = offsetTableOffset;
  data.insert(data.end(), trailer.begin(), trailer.end());
  return data;
}

Bytes dateObject(double secondsSince2001) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &secondsSince2001, sizeof bits);
  Bytes object{0x33};
  for (int shift = 56; shift >= 0; shift -= 8) object.push_back(static_cast<std::uint8_t>(bits >> shift));
  return object;
}

std::string xmlDocument(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}

Value everyKind() {
  return Dictionary{
      {"bool", true},
      {"false", false},
      {"integers", Array{0, -1, 42, kMax, kMin}},
      {"reals", Array{0.1, -2.5, 1e300, 5e-324}},
      {"string", "Übersicht – 日本語 😀 <&> \"q\""},
      {"empty string", ""},
      {"data", Bytes{0x00, 0xff, 0x10, 0x00}},
      {"empty data", Bytes{}},
      {"date", Date{612705600.25}},
      {"nested",
       Dictionary{{"inner", Array{Dictionary{}, Array{}, Dictionary{{"ä", Array{1, "zwei", 3.5}}}}}}},
  };
}

TEST(PropertyListBinary, RoundTripsEveryKind) {
  Result<Bytes> written = writePropertyList(everyKind(), PropertyListFormat::Binary);
  ASSERT_TRUE(written.ok()) << written.error().debugDescription();
  EXPECT_EQ(asText(*written).substr(0, 8), "bplist00");
  Value back = roundTrip(everyKind(), PropertyListFormat::Binary);
  EXPECT_EQ(back, everyKind()) << back.description();
  // Kinds survive, not just numeric values.
  EXPECT_TRUE(back.find("bool")->isBool());
  EXPECT_TRUE(back.find("integers")->asArray()->at(3).isInteger());
  EXPECT_TRUE(back.find("reals")->asArray()->at(0).isDouble());
}

TEST(PropertyListXml, RoundTripsEveryKind) {
  Result<Bytes> written = writePropertyList(everyKind(), PropertyListFormat::Xml);
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(asText(*written).rfind("<?xml", 0), 0u);
  EXPECT_NE(asText(*written).find("<true/>"), std::string::npos);
  Value back = roundTrip(everyKind(), PropertyListFormat::Xml);
  // XML dates carry whole seconds.
  Value expected = everyKind();
  (*expected.asDictionary())["date"] = Date{612705600};
  EXPECT_EQ(back, expected) << back.description();
}

TEST(PropertyListScalars, TopLevelScalarsRoundTrip) {
  for (auto format : {PropertyListFormat::Xml, PropertyListFormat::Binary}) {
    for (const Value& value : {Value(kMin), Value("ß"), Value(false), Value(Bytes{1}), Value(Array{})}) {
      Value back = roundTrip(value, format);
      EXPECT_EQ(back, value) << value.description();
      EXPECT_EQ(back.kind(), value.kind());
    }
  }
}

TEST(PropertyListDates, BinaryKeepsMicrosecondsOnBothSidesOfTheReferenceDate) {
  for (double seconds :
       {-4.75, -0.5, 0.5, -86400.000001, 612705600.123456, -2147483648.0, 2147483647.999999}) {
    Value back = roundTrip(Value(Date{seconds}), PropertyListFormat::Binary);
    ASSERT_TRUE(back.isDate());
    EXPECT_NEAR(back.asDate()->secondsSinceReferenceDate, seconds, 1e-6) << seconds;
  }
}

TEST(PropertyListDates, RepeatedBinaryRoundTripsDoNotDrift) {
  for (double seconds : {-4.7, -1234.567891, -0.3, 0.3, 612705600.123456}) {
    Value value(Date{seconds});
    for (int cycle = 0; cycle < 20; ++cycle) value = roundTrip(value, PropertyListFormat::Binary);
    EXPECT_NEAR(value.asDate()->secondsSinceReferenceDate, seconds, 0.5e-6) << seconds;
  }
}

TEST(PropertyListDates, DatesOutsideTheWindowAreRefusedOnWrite) {
  for (double seconds : {Date::kDistantPastSeconds, 4e9, std::numeric_limits<double>::infinity()}) {
    Result<Bytes> written =
        writePropertyList(Dictionary{{"when", Date{seconds}}}, PropertyListFormat::Binary);
    ASSERT_FALSE(written.ok()) << seconds;
    EXPECT_TRUE(written.error().is(kPropertyListErrorDomain, PropertyListErrorCode::Unrepresentable));
    EXPECT_EQ(*written.error().userInfo.at("keyPath").asString(), "when");
  }
}

TEST(PropertyListDates, FarDatesAreReadFromXmlAndBinary) {
  // 4001-01-01 and 1900-01-01, beyond what the library's date accessor can return.
  const double year4001 = 63113904000;
  const double year1900 = -3187296000;
  Result<Value> xml = readPropertyList(
      xmlDocument("<array><date>4001-01-01T00:00:00Z</date><date>1900-01-01T00:00:00Z</date></array>"));
  ASSERT_TRUE(xml.ok()) << xml.error().debugDescription();
  EXPECT_EQ(*xml, Value(Array{Date{year4001}, Date{year1900}}));

  for (double seconds : {year4001, year1900, Date::kDistantPastSeconds}) {
    Result<Value> binary = readPropertyList(singleObjectBinary(dateObject(seconds)));
    ASSERT_TRUE(binary.ok()) << binary.error().debugDescription();
    EXPECT_EQ(*binary, Value(Date{seconds})) << binary->description();
  }
}

TEST(PropertyListIntegers, ExtremesKeepTheirValueAndSign) {
  for (auto format : {PropertyListFormat::Xml, PropertyListFormat::Binary}) {
    Value back = roundTrip(Array{kMax, kMin, -1, std::int64_t{1} << 53}, format);
    EXPECT_EQ(back, Value(Array{kMax, kMin, -1, std::int64_t{1} << 53}));
  }
}

TEST(PropertyListIntegers, UnsignedBeyondInt64ReadsAsNearestDoubleNotNegative) {
  Result<Value> xml = readPropertyList(xmlDocument("<integer>18446744073709551615</integer>"));
  ASSERT_TRUE(xml.ok());
  EXPECT_TRUE(xml->isDouble());
  EXPECT_EQ(*xml->asDouble(), 18446744073709551615.0);

  Bytes unsigned128{0x14};  // a 16-byte integer: 2^64 - 1 in its low half
  for (int i = 0; i < 8; ++i) unsigned128.push_back(0);
  for (int i = 0; i < 8; ++i) unsigned128.push_back(0xff);
  Result<Value> binary = readPropertyList(singleObjectBinary(unsigned128));
  ASSERT_TRUE(binary.ok()) << binary.error().debugDescription();
  EXPECT_GT(binary->doubleValue(), 1e19);
}

TEST(PropertyListWrite, NullIsRefusedWithItsLocation) {
  Value value = Dictionary{{"outer", Dictionary{{"list", Array{1, "x", Value()}}}}, {"ok", 1}};
  for (auto format : {PropertyListFormat::Xml, PropertyListFormat::Binary}) {
    Result<Bytes> written = writePropertyList(value, format);
    ASSERT_FALSE(written.ok());
    EXPECT_TRUE(written.error().is(kPropertyListErrorDomain, PropertyListErrorCode::Unrepresentable));
    EXPECT_EQ(*written.error().userInfo.at("keyPath").asString(), "outer.list[2]");
    EXPECT_NE(written.error().description.find("null"), std::string::npos);
  }
  Result<Bytes> topLevel = writePropertyList(Value(), PropertyListFormat::Xml);
  ASSERT_FALSE(topLevel.ok());
  EXPECT_EQ(*topLevel.error().userInfo.at("keyPath").asString(), "the top level");
}

TEST(PropertyListWrite, TextThatCannotBeStoredIsRefusedNotTruncated) {
  const std::string withNul("ab\0cd", 5);
  for (const std::string& bad :
       {withNul, std::string("\xc3"), std::string("\xc0\xaf"), std::string("\xed\xa0\x80"),
        std::string("\xf4\x90\x80\x80"), std::string("ok\xff")}) {
    Result<Bytes> asValue = writePropertyList(Array{bad}, PropertyListFormat::Binary);
    EXPECT_FALSE(asValue.ok()) << bad;
    Result<Bytes> asKey = writePropertyList(Dictionary{{bad, 1}}, PropertyListFormat::Xml);
    EXPECT_FALSE(asKey.ok()) << bad;
  }
  EXPECT_TRUE(
      writePropertyList(Value("\xf0\x9f\x98\x80 \xe2\x82\xac \xc3\xa4"), PropertyListFormat::Binary).ok());
}

TEST(PropertyListRead, GarbageIsAnErrorNotACrash) {
  Bytes valid = *writePropertyList(everyKind(), PropertyListFormat::Binary);
  std::string validXml = asText(*writePropertyList(everyKind(), PropertyListFormat::Xml));
  const std::vector<std::string> garbage = {
      "",
      "garbage",
      "bplist00garbage",
      std::string(valid.begin(), valid.begin() + static_cast<long>(valid.size() / 2)),
      validXml.substr(0, validXml.size() / 2),
      "<?xml version=\"1.0\"?><plist><dict><key>a</key><integer>1</integer>",
  };
  for (const std::string& data : garbage) {
    Result<Value> read = readPropertyList(data);
    ASSERT_FALSE(read.ok()) << data;
    EXPECT_TRUE(read.error().is(kPropertyListErrorDomain, PropertyListErrorCode::Malformed)) << data;
  }
}

TEST(PropertyListRead, CorruptedBinaryNeverCrashes) {
  Bytes valid = *writePropertyList(everyKind(), PropertyListFormat::Binary);
  for (std::size_t i = 8; i < valid.size(); ++i) {
    for (std::uint8_t flip : {0x01, 0x80, 0xff}) {
      Bytes damaged = valid;
      damaged[i] ^= flip;
      (void)readPropertyList(damaged);  // any outcome but a crash is acceptable
    }
  }
}

TEST(PropertyListRead, ObjectReferencesHaveNoValueForm) {
  Result<Value> read = readPropertyList(singleObjectBinary(Bytes{0x80, 0x05}));
  ASSERT_FALSE(read.ok());
  EXPECT_TRUE(read.error().is(kPropertyListErrorDomain, PropertyListErrorCode::Unrepresentable));
}

TEST(PropertyListRead, ExcessiveNestingIsRefused) {
  std::string deep;
  for (int i = 0; i < 600; ++i) deep += "<array>";
  for (int i = 0; i < 600; ++i) deep += "</array>";
  Result<Value> read = readPropertyList(xmlDocument(deep));
  ASSERT_FALSE(read.ok());
  EXPECT_TRUE(read.error().is(kPropertyListErrorDomain, PropertyListErrorCode::Malformed));
}

// A binary property list of `objects` (each its encoded bytes, object 0 the top), with offsets and
// references `width` bytes wide.
Bytes binaryOfObjects(const std::vector<Bytes>& objects, int width) {
  Bytes data{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::vector<std::uint64_t> offsets;
  for (const Bytes& object : objects) {
    offsets.push_back(data.size());
    data.insert(data.end(), object.begin(), object.end());
  }
  const std::uint64_t table = data.size();
  const auto put = [&](std::uint64_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
      data.push_back(static_cast<std::uint8_t>(value >> shift));
  };
  for (std::uint64_t offset : offsets) put(offset, width);
  data.insert(data.end(), 6, 0);
  data.push_back(static_cast<std::uint8_t>(width));
  data.push_back(static_cast<std::uint8_t>(width));
  put(objects.size(), 8);
  put(0, 8);
  put(table, 8);
  return data;
}

Bytes reference(std::uint64_t object, int width) {
  Bytes bytes;
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    bytes.push_back(static_cast<std::uint8_t>(object >> shift));
  return bytes;
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void expectMalformed(const Result<Value>& read) {
  ASSERT_FALSE(read.ok()) << read->description();
  EXPECT_TRUE(read.error().is(kPropertyListErrorDomain, PropertyListErrorCode::Malformed))
      << read.error().debugDescription();
}

TEST(PropertyListRead, ADictionaryKeyHoldingANulIsRefusedNotAnAbort) {
  const Bytes value{0x10, 0x05};
  // UTF-16 "a", U+0000; then ASCII "a", NUL.
  for (const Bytes& key : {Bytes{0x62, 0x00, 0x61, 0x00, 0x00}, Bytes{0x52, 'a', 0x00}}) {
    expectMalformed(readPropertyList(binaryOfObjects({{0xD1, 0x01, 0x02}, key, value}, 1)));
  }
  expectMalformed(readPropertyList(xmlDocument("<dict><key>a&#0;b</key><integer>1</integer></dict>")));
  expectMalformed(readPropertyList(xmlDocument("<dict><key>&#x000;</key><integer>1</integer></dict>")));
  // The same shapes without the NUL read fine.
  EXPECT_TRUE(readPropertyList(binaryOfObjects({{0xD1, 0x01, 0x02}, {0x52, 'a', 'b'}, value}, 1)).ok());
  EXPECT_TRUE(readPropertyList(xmlDocument("<dict><key>a&#10;b</key><integer>1</integer></dict>")).ok());
}

TEST(PropertyListRead, DeepNestingIsRefusedBeforeTheLibraryRecurses) {
  // 100,000 arrays, each holding the next: enough to exhaust the stack of a recursive parser.
  constexpr std::uint64_t kLevels = 100000;
  std::vector<Bytes> objects;
  for (std::uint64_t i = 0; i + 1 < kLevels; ++i) objects.push_back(concat({0xA1}, reference(i + 1, 4)));
  objects.push_back({0xA0});
  expectMalformed(readPropertyList(binaryOfObjects(objects, 4)));

  std::string deep;
  for (int i = 0; i < 300000; ++i) deep += "<array>";
  for (int i = 0; i < 300000; ++i) deep += "</array>";
  expectMalformed(readPropertyList(xmlDocument(deep)));
}

TEST(PropertyListRead, NestingUpToTheLimitAndSharedObjectsRead) {
  std::string nested;
  for (int i = 0; i < 500; ++i) nested += "<array>";
  for (int i = 0; i < 500; ++i) nested += "</array>";
  EXPECT_TRUE(readPropertyList(xmlDocument("<!-- <array><array> -->" + nested)).ok());
  // Two entries referring to one object: not a loop.
  const Result<Value> shared = readPropertyList(
      binaryOfObjects({{0xD2, 0x01, 0x02, 0x03, 0x03}, {0x51, 'a'}, {0x51, 'b'}, {0x10, 0x07}}, 1));
  ASSERT_TRUE(shared.ok()) << shared.error().debugDescription();
  EXPECT_EQ(*shared, Value(Dictionary{{"a", Value(std::int64_t{7})}, {"b", Value(std::int64_t{7})}}));
}

TEST(PropertyListRead, AContainerHoldingItselfIsRefused) {
  expectMalformed(readPropertyList(binaryOfObjects({{0xA1, 0x01}, {0xA1, 0x00}}, 1)));
}

class PropertyListFile : public ::testing::Test {
 protected:
  testing::TemporaryDirectory folder_;
  const std::filesystem::path dir_ = folder_.path();
};

TEST_F(PropertyListFile, ReadsAFileAndTellsMissingFromUnreadable) {
  std::filesystem::path file = dir_ / "Info.plist";
  Bytes bytes =
      *writePropertyList(Dictionary{{"CFBundleIdentifier", "com.example.app"}}, PropertyListFormat::Xml);
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  Result<Value> read = readPropertyListFile(file);
  ASSERT_TRUE(read.ok()) << read.error().debugDescription();
  EXPECT_EQ(*read->find("CFBundleIdentifier"), Value("com.example.app"));

  for (const std::filesystem::path& absent : {dir_ / "absent.plist", file / "below.plist"}) {
    Result<Value> missing = readPropertyListFile(absent);
    ASSERT_FALSE(missing.ok()) << absent;
    EXPECT_TRUE(missing.error().is(kPropertyListErrorDomain, PropertyListErrorCode::FileMissing)) << absent;
  }

  Result<Value> directory = readPropertyListFile(dir_);
  ASSERT_FALSE(directory.ok());
  EXPECT_TRUE(directory.error().is(kPropertyListErrorDomain, PropertyListErrorCode::FileUnreadable));

  std::ofstream(dir_ / "broken.plist") << "<plist><dict><key>";
  Result<Value> broken = readPropertyListFile(dir_ / "broken.plist");
  ASSERT_FALSE(broken.ok());
  EXPECT_TRUE(broken.error().is(kPropertyListErrorDomain, PropertyListErrorCode::Malformed));
  EXPECT_NE(broken.error().description.find("broken.plist"), std::string::npos);
}

// A file beyond what a property list can be is refused by its size, before its bytes fill memory.
TEST_F(PropertyListFile, AFileTooLargeToBeAPropertyListIsRefusedUnread) {
  const std::filesystem::path huge = dir_ / "huge.plist";
  std::ofstream(huge) << "<plist>";
  std::filesystem::resize_file(huge, std::uintmax_t{std::numeric_limits<std::uint32_t>::max()} + 1);
  Result<Value> read = readPropertyListFile(huge);
  ASSERT_FALSE(read.ok());
  EXPECT_TRUE(read.error().is(kPropertyListErrorDomain, PropertyListErrorCode::Malformed));
  EXPECT_NE(read.error().description.find("too large"), std::string::npos);
}

// A pipe at the file's name would hold the read until a writer came, and a device such as /dev/zero
// would be read without end.
TEST_F(PropertyListFile, APipeOrADeviceInAFilesPlaceIsUnreadableAtOnce) {
  ASSERT_EQ(::mkfifo((dir_ / "pipe.plist").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir_ / "pipe.plist", dir_ / "link-to-pipe.plist");
  std::filesystem::create_symlink("/dev/zero", dir_ / "link-to-device.plist");
  for (const char* name : {"pipe.plist", "link-to-pipe.plist", "link-to-device.plist"}) {
    Result<Value> read = readPropertyListFile(dir_ / name);
    ASSERT_FALSE(read.ok()) << name;
    EXPECT_TRUE(read.error().is(kPropertyListErrorDomain, PropertyListErrorCode::FileUnreadable)) << name;
  }
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(PropertyListObjectReferences, ReadAndWriteAsDictionariesWhenAskedFor) {
  Value withReference =
      Dictionary{{"root", Dictionary{{"CF$UID", 7}}}, {"plain", Dictionary{{"CF$UID", "x"}}}};
  Bytes binary =
      *writePropertyList(withReference, PropertyListFormat::Binary, ObjectReferences::AsDictionaries);
  EXPECT_FALSE(readPropertyList(binary).ok());
  Result<Value> read = readPropertyList(binary, ObjectReferences::AsDictionaries);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, withReference);
  // Without the option such a dictionary is just a dictionary.
  Bytes plain = *writePropertyList(withReference, PropertyListFormat::Binary);
  EXPECT_EQ(*readPropertyList(plain), withReference);
}

TEST(PropertyListObjectReferences, ANumberBeyondWhatTheEncodingKeepsComesBackUnchanged) {
  // Found by fuzzing: the binary form keeps 32 bits of a reference, so 2^32 came back as 0.
  for (std::int64_t number :
       {std::int64_t{0xFFFFFFFF}, std::int64_t{0x100000000}, std::int64_t{13333333333333}}) {
    Value withReference = Dictionary{{"root", Dictionary{{"CF$UID", number}}}};
    Result<Bytes> binary =
        writePropertyList(withReference, PropertyListFormat::Binary, ObjectReferences::AsDictionaries);
    ASSERT_TRUE(binary.ok());
    EXPECT_EQ(*readPropertyList(*binary, ObjectReferences::AsDictionaries), withReference) << number;
  }
}

}  // namespace
}  // namespace platform
