#include "common/hash.h"

#include <gtest/gtest.h>

using namespace kest;

namespace {
struct Named : THashCollectionItem {
  explicit Named(std::string n, int t = 0) : THashCollectionItem(std::move(n)), tag(t) {}
  int tag;
};
using Coll = THashCollectionOf<Named>;
}  // namespace

TEST(HashCollection, BucketRule) {
  struct Case { std::string name; int bucket; };
  const Case cases[] = {
      {"", 0},
      {"a", 16},                               // 1*16, no bytes added below length 2
      {"ab", (32 + 'a' + 'a') % 256},          // second-to-last and first are both 'a'
      {"Abc", (48 + 'b' + 'a') % 256},         // folded before hashing
      {"hello.zar", (9 * 16 + 'a' + 'h') % 256},
      {"\x95\x5C" "A", (48 + 0x5C + 0x95) % 256},  // the trailing A is folded, the pair kept
  };
  for (const Case& c : cases) EXPECT_EQ(THashCollection::BucketOf(c.name), c.bucket) << c.name;
}

TEST(HashCollection, LastNamedOfEqualNamesIsFound) {
  Coll c;
  c.Add(std::make_unique<Named>("Flag", 1));
  c.Add(std::make_unique<Named>("FLAG", 2));
  EXPECT_EQ(c.Find("flag")->tag, 2);  // new items go to the head of their bucket
  // Renaming relinks at the head: the first item becomes the one found.
  c.Item(0)->SetName("flag");
  EXPECT_EQ(c.Find("Flag")->tag, 1);
  EXPECT_EQ(c.IndexOf("none"), -1);
}

TEST(HashCollection, RemovalRenumbersLaterItems) {
  Coll c;
  for (int i = 0; i < 5; ++i) c.Add(std::make_unique<Named>("n" + std::to_string(i), i));
  c.Delete(1);
  ASSERT_EQ(c.Count(), 4);
  for (int i = 0; i < c.Count(); ++i) EXPECT_EQ(c.Item(i)->Index(), i);
  EXPECT_EQ(c.IndexOf("n3"), 2);
  EXPECT_EQ(c.IndexOf("n1"), -1);
  auto item = c.Extract(0);
  EXPECT_EQ(item->Index(), -1);
  EXPECT_EQ(item->Collection(), nullptr);
  item->SetName("free");  // renaming an item outside a collection is harmless
  EXPECT_EQ(c.IndexOf("n0"), -1);
  EXPECT_EQ(c.IndexOf("n4"), 2);
}

TEST(HashCollection, CollidingNamesInOneBucket) {
  // Same length, same first and second-to-last byte: one bucket.
  Coll c;
  c.Add(std::make_unique<Named>("axb", 1));
  c.Add(std::make_unique<Named>("axc", 2));
  c.Add(std::make_unique<Named>("AXD", 3));
  ASSERT_EQ(THashCollection::BucketOf("axb"), THashCollection::BucketOf("axd"));
  EXPECT_EQ(c.Find("axb")->tag, 1);
  EXPECT_EQ(c.Find("axd")->tag, 3);
  c.Delete(1);
  EXPECT_EQ(c.Find("axb")->tag, 1);
  EXPECT_EQ(c.Find("axd")->tag, 3);
  EXPECT_EQ(c.Find("axc"), nullptr);
  c.Clear();
  EXPECT_EQ(c.Find("axb"), nullptr);
}
