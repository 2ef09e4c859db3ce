#include <gtest/gtest.h>

#include "platform/pstore/ManagedObjectModel.h"
#include "platform/pstore/PersistentHistory.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform {
namespace {

using testing::makeNotebookModel;
using testing::NotebookModelOptions;

TEST(PstoreModelVersionHash, IgnoresDefaultsDrawnAtEachBuild) {
  const auto first = makeNotebookModel({UUID::random(), Date{1.0}});
  const auto second = makeNotebookModel({UUID::random(), Date{2.0}});
  EXPECT_EQ(first->versionHash(), second->versionHash());
  EXPECT_EQ(first->versionHash().size(), 64u);
}

TEST(PstoreModelVersionHash, ChangesWithTheStoredShape) {
  const std::string base = makeNotebookModel()->versionHash();
  auto entities = makeNotebookModel()->entities();
  entities[1].attributes[2].type = AttributeType::String;
  entities[1].attributes[2].defaultValue = std::string("1");
  EXPECT_NE(ManagedObjectModel(entities).versionHash(), base);
  entities = makeNotebookModel()->entities();
  entities[1].attributes[1].name = "text";
  EXPECT_NE(ManagedObjectModel(entities).versionHash(), base);
  NotebookModelOptions otherOptionality;
  otherOptionality.titleOptional = true;
  EXPECT_NE(makeNotebookModel(otherOptionality)->versionHash(), base);
}

TEST(PstoreModelVersionHash, IgnoresDeleteRulesAndCountLimits) {
  auto entities = makeNotebookModel()->entities();
  entities[0].relationships[0].deleteRule = DeleteRule::Nullify;
  entities[0].relationships[0].maxCount = 5;
  EXPECT_EQ(ManagedObjectModel(entities).versionHash(), makeNotebookModel()->versionHash());
}

class PstoreModelRefusal : public ::testing::Test {
 protected:
  std::vector<EntityDescription> entities = makeNotebookModel()->entities();
};

TEST_F(PstoreModelRefusal, RelationshipWithoutMatchingInverse) {
  entities[1].relationships[0].inverseRelationship = "missing";
  EXPECT_THROW(ManagedObjectModel{entities}, ProgrammerError);
}

TEST_F(PstoreModelRefusal, ManyToManyAndToOnePairs) {
  entities[1].relationships[0].toMany = true;
  EXPECT_THROW(ManagedObjectModel{entities}, ProgrammerError);
  entities[1].relationships[0].toMany = false;
  entities[0].relationships[0].toMany = false;
  EXPECT_THROW(ManagedObjectModel{entities}, ProgrammerError);
}

TEST_F(PstoreModelRefusal, OrderedToMany) {
  entities[0].relationships[0].ordered = true;
  EXPECT_THROW(ManagedObjectModel{entities}, ProgrammerError);
}

TEST_F(PstoreModelRefusal, DefaultOfTheWrongType) {
  entities[1].attributes[2].defaultValue = std::string("1");
  EXPECT_THROW(ManagedObjectModel{entities}, ProgrammerError);
}

TEST_F(PstoreModelRefusal, NamesThatDifferOnlyInCaseOrAreNoIdentifiers) {
  entities[0].attributes.push_back({.name = "Title", .type = AttributeType::String});
  EXPECT_THROW(ManagedObjectModel{entities}, ProgrammerError);
  entities[0].attributes.back().name = "_PK";
  EXPECT_THROW(ManagedObjectModel{entities}, ProgrammerError);
  entities[0].attributes.back().name = "two words";
  EXPECT_THROW(ManagedObjectModel{entities}, ProgrammerError);
}

TEST(PstoreHistoryTokenText, RoundTrips) {
  const HistoryToken token{UUID::random(), 42};
  EXPECT_EQ(HistoryToken::parse(token.serialized()), token);
}

TEST(PstoreHistoryTokenText, RefusesAnythingElse) {
  const std::string store = UUID::random().uuidString();
  for (const std::string& text : std::vector<std::string>{
           std::string(), "HT1:" + store, "HT1:" + store + ":", "HT1:" + store + ":0", "HT1:" + store + ":-3",
           "HT1:" + store + ":+3", "HT1:" + store + ":07", "HT1:" + store + ":3x", "HT2:" + store + ":3",
           "HT1:not-a-uuid:3", "HT1:" + store + ":99999999999999999999"}) {
    EXPECT_FALSE(HistoryToken::parse(text)) << text;
  }
}

}  // namespace
}  // namespace platform
