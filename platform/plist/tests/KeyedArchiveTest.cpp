#include <gtest/gtest.h>

#include "platform/plist/KeyedArchive.h"
#include "platform/plist/PropertyList.h"

namespace platform {
namespace {

struct Inner : KeyedCodable {
  static constexpr std::string_view kArchivedClassName = "Inner";
  std::optional<std::string> label;

  std::string archivedClassName() const override { return std::string(kArchivedClassName); }
  void encodeWithCoder(KeyedEncoder& coder) const override { coder.encodeString("label", label); }
  static std::shared_ptr<Inner> initWithCoder(KeyedDecoder& coder) {
    auto inner = std::make_shared<Inner>();
    inner->label = coder.decodeString("label");
    return inner;
  }
};

struct Outer : KeyedCodable {
  static constexpr std::string_view kArchivedClassName = "Outer";
  std::optional<std::string> name;
  std::int64_t count = 0;
  double ratio = 0;
  bool flag = false;
  std::optional<Date> when;
  std::optional<Bytes> blob;
  std::shared_ptr<Inner> inner;

  std::string archivedClassName() const override { return std::string(kArchivedClassName); }
  void encodeWithCoder(KeyedEncoder& coder) const override {
    coder.encodeString("name", name);
    coder.encodeInteger("count", count);
    coder.encodeDouble("ratio", ratio);
    coder.encodeBool("flag", flag);
    coder.encodeDate("when", when);
    coder.encodeBytes("blob", blob);
    coder.encodeObject("inner", inner.get());
  }
  static std::shared_ptr<Outer> initWithCoder(KeyedDecoder& coder) {
    auto outer = std::make_shared<Outer>();
    outer->name = coder.decodeString("name");
    outer->count = coder.decodeInteger("count");
    outer->ratio = coder.decodeDouble("ratio");
    outer->flag = coder.decodeBool("flag");
    outer->when = coder.decodeDate("when");
    outer->blob = coder.decodeBytes("blob");
    outer->inner = coder.decodeObject<Inner>("inner");
    return outer;
  }
};

Outer fullOuter() {
  Outer outer;
  outer.name = "név";
  outer.count = -42;
  outer.ratio = 0.25;
  outer.flag = true;
  outer.when = Date{123456.5};
  outer.blob = Bytes{0, 1, 2};
  outer.inner = std::make_shared<Inner>();
  outer.inner->label = "";
  return outer;
}

bool isUnreadable(const Error& error) {
  return error.is(kKeyedArchiveErrorDomain, KeyedArchiveErrorCode::Unreadable);
}

// An archive edited as a value, to stage what damage or other writers leave.
Bytes rewritten(const Bytes& archive, const std::function<void(Dictionary&)>& edit) {
  Value root = *readPropertyList(archive, ObjectReferences::AsDictionaries);
  edit(*root.asDictionary());
  return *writePropertyList(root, PropertyListFormat::Binary, ObjectReferences::AsDictionaries);
}

TEST(KeyedArchiveTest, EveryKindOfFieldSurvivesTheRoundTrip) {
  Result<Bytes> data = archivedData(fullOuter());
  ASSERT_TRUE(data.ok()) << data.error().debugDescription();
  Result<std::shared_ptr<Outer>> read = unarchivedObject<Outer>(*data);
  ASSERT_TRUE(read.ok()) << read.error().debugDescription();
  const Outer& outer = **read;
  EXPECT_EQ(outer.name, "név");
  EXPECT_EQ(outer.count, -42);
  EXPECT_EQ(outer.ratio, 0.25);
  EXPECT_TRUE(outer.flag);
  EXPECT_EQ(outer.when, Date{123456.5});
  EXPECT_EQ(outer.blob, (Bytes{0, 1, 2}));
  ASSERT_TRUE(outer.inner);
  EXPECT_EQ(outer.inner->label, "");  // present but empty stays apart from absent
}

TEST(KeyedArchiveTest, AbsentFieldsStayAbsent) {
  Result<std::shared_ptr<Outer>> read = unarchivedObject<Outer>(*archivedData(Outer{}));
  ASSERT_TRUE(read.ok());
  EXPECT_FALSE((*read)->name);
  EXPECT_FALSE((*read)->when);
  EXPECT_FALSE((*read)->inner);
}

TEST(KeyedArchiveTest, TheArchiveFollowsTheKeyedLayout) {
  Value root = *readPropertyList(*archivedData(fullOuter()), ObjectReferences::AsDictionaries);
  EXPECT_EQ(*root.find("$version"), Value(100000));
  EXPECT_EQ(*root.find("$top")->find("root"), Value(Dictionary{{"CF$UID", 1}}));
  const Array& objects = *root.find("$objects")->asArray();
  EXPECT_EQ(objects[0], Value("$null"));
  const Value& outer = objects[1];
  EXPECT_EQ(*outer.find("count"), Value(-42));
  std::int64_t nameIndex = *outer.find("name")->find("CF$UID")->asInteger();
  EXPECT_EQ(objects[static_cast<std::size_t>(nameIndex)], Value("név"));
  std::int64_t classIndex = *outer.find("$class")->find("CF$UID")->asInteger();
  EXPECT_EQ(*objects[static_cast<std::size_t>(classIndex)].find("$classname"), Value("Outer"));
}

TEST(KeyedArchiveTest, OnlyTheRequestedClassIsRead) {
  Bytes data = *archivedData(fullOuter());
  Result<std::shared_ptr<Inner>> asInner = unarchivedObject<Inner>(data);
  ASSERT_FALSE(asInner.ok());
  EXPECT_TRUE(isUnreadable(asInner.error()));

  // A nested object of another class fails the whole read.
  Bytes swapped = rewritten(data, [](Dictionary& root) {
    Array& objects = *root["$objects"].asArray();
    for (Value& entry : objects) {
      if (entry.find("$classname") && *entry.find("$classname") == Value("Inner"))
        entry = Dictionary{{"$classname", "Intruder"}, {"$classes", Array{Value("Intruder")}}};
    }
  });
  EXPECT_FALSE(unarchivedObject<Outer>(swapped).ok());
}

TEST(KeyedArchiveTest, AnOlderClassNameCanBeReadAsTheCurrentClass) {
  Bytes legacy = rewritten(*archivedData(fullOuter()), [](Dictionary& root) {
    for (Value& entry : *root["$objects"].asArray()) {
      if (entry.find("$classname") && *entry.find("$classname") == Value("Outer"))
        entry = Dictionary{{"$classname", "LegacyOuter"}, {"$classes", Array{Value("LegacyOuter")}}};
    }
  });
  EXPECT_FALSE(unarchivedObject<Outer>(legacy).ok());
  Result<std::shared_ptr<Outer>> read = unarchivedObject<Outer>(legacy, {{"LegacyOuter", "Outer"}});
  ASSERT_TRUE(read.ok());
  EXPECT_EQ((*read)->name, "név");
}

TEST(KeyedArchiveTest, DamagedArchivesFailWithoutCrashing) {
  Bytes data = *archivedData(fullOuter());
  EXPECT_TRUE(isUnreadable(unarchivedObject<Outer>(Bytes{'x', 'y'}).error()));
  EXPECT_FALSE(
      unarchivedObject<Outer>(*writePropertyList(Dictionary{{"a", 1}}, PropertyListFormat::Binary)).ok());
  EXPECT_FALSE(unarchivedObject<Outer>(rewritten(data, [](Dictionary& root) {
                 root["$top"] = Dictionary{{"root", Dictionary{{"CF$UID", 999}}}};
               })).ok());
  // A reference past the end of the objects.
  EXPECT_FALSE(unarchivedObject<Outer>(rewritten(data, [](Dictionary& root) {
                 (*(*root["$objects"].asArray())[1].asDictionary())["name"] = Dictionary{{"CF$UID", 999}};
               })).ok());
  // An object that contains itself ends at the nesting limit.
  Bytes selfContaining = rewritten(data, [](Dictionary& root) {
    Array& objects = *root["$objects"].asArray();
    std::int64_t innerIndex = *objects[1].find("inner")->find("CF$UID")->asInteger();
    Value& inner = objects[static_cast<std::size_t>(innerIndex)];
    (*inner.asDictionary())["$class"] = *objects[1].find("$class");
    (*inner.asDictionary())["inner"] = Dictionary{{"CF$UID", innerIndex}};
  });
  EXPECT_FALSE(unarchivedObject<Outer>(selfContaining).ok());
}

}  // namespace
}  // namespace platform
