#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "container/KelHashedStringList.h"

namespace kelvane {
namespace {

// 2^Blocks names that all share one value under a rotate-by-2-and-xor hash:
// each two-letter block is "aa" or "ci", and ('a' << 2) ^ 'a' == ('c' << 2) ^ 'i'.
std::vector<UString> NamesCollidingUnderRotateXor(int blocks) {
  std::vector<UString> names;
  for (uint32_t bits = 0; bits < (1u << blocks); ++bits) {
    UString name = u"dir/";
    for (int b = 0; b < blocks; ++b)
      name += (bits >> b) & 1 ? u"ci" : u"aa";
    names.push_back(name + u".txt");
  }
  return names;
}

uint32_t RotateXor(const UString& key) {
  uint32_t h = 0;
  for (const char16_t c : key)
    h = ((h << 2) | (h >> 30)) ^ c;
  return h;
}

TEST(StringHash, NamesBuiltToCollideSpreadOverTheBuckets) {
  const std::vector<UString> names = NamesCollidingUnderRotateXor(12);
  for (const UString& name : names)
    ASSERT_EQ(RotateXor(name), RotateXor(names.front())) << "the fixture collides";

  TKelStringHash hash(static_cast<uint32_t>(names.size()));
  std::vector<int> load(hash.Size());
  for (const UString& name : names)
    ++load[hash.HashKey(name) % hash.Size()];
  // 4096 names in 4096 buckets: a random spread fills well over half of them
  // and leaves no long chain (one shared chain would hold all 4096).
  EXPECT_GT(std::count_if(load.begin(), load.end(), [](int n) { return n > 0; }), 2000);
  EXPECT_LE(*std::max_element(load.begin(), load.end()), 16);

  TKelHashedStringList list;
  for (const UString& name : names)
    list.Add(name);
  EXPECT_EQ(list.IndexOf(u"DIR/CICICICICICICICICICICICI.TXT"), 4095);
  EXPECT_EQ(list.IndexOf(u"dir/cicicicicicicicicicicicc.txt"), -1);

  // One key per process: every table finds what another one hashed.
  TKelStringHash other(7);
  for (const UString& name : {names[0], names[1], UString(u"")})
    EXPECT_EQ(other.HashKey(name), hash.HashKey(name));
}

TEST(StringHash, DuplicatesAreFoundLastAddedFirst) {
  TKelStringHash hash(7);
  hash.Add(u"k", 1);
  hash.Add(u"other", 9);
  hash.Add(u"k", 2);
  EXPECT_EQ(hash.ValueOf(u"k"), 2);
  EXPECT_EQ(hash.ValueOf(u"K"), -1) << "keys compare exactly";
  EXPECT_TRUE(hash.Modify(u"k", 3));
  EXPECT_EQ(hash.ValueOf(u"k"), 3);
  hash.Remove(u"k");
  EXPECT_EQ(hash.ValueOf(u"k"), 1);
  EXPECT_FALSE(hash.Modify(u"missing", 0));
  hash.Remove(u"missing");
  hash.Clear();
  EXPECT_EQ(hash.ValueOf(u"other"), -1);
}

TEST(StringHash, RemoveByKeyAndValueTakesThatEntryOnly) {
  TKelStringHash hash(3);
  hash.Add(u"a.txt", 0);
  hash.Add(u"a.txt", 1);
  hash.Remove(u"a.txt", 0);
  EXPECT_EQ(hash.ValueOf(u"a.txt"), 1);
  hash.Remove(u"a.txt", 5);
  EXPECT_EQ(hash.ValueOf(u"a.txt"), 1);
  hash.Remove(u"a.txt", 1);
  EXPECT_EQ(hash.ValueOf(u"a.txt"), -1);
}

TEST(StringHash, ZeroBucketsAndOneLongChainAreSafe) {
  TKelStringHash hash(0);
  EXPECT_EQ(hash.Size(), 1u);
  for (int i = 0; i < 200000; ++i)
    hash.Add(u"x", i);
  EXPECT_EQ(hash.ValueOf(u"x"), 199999);
  hash.Clear();  // must not recurse down the chain
  EXPECT_EQ(hash.ValueOf(u"x"), -1);
}

TEST(HashedStringList, LookupIgnoresTheCaseOfAsciiLettersOnly) {
  TKelHashedStringList list;
  list.Add(u"Dir/File.TXT");
  list.Add(u"\u00C4.txt");
  EXPECT_EQ(list.IndexOf(u"dir/file.txt"), 0);
  EXPECT_EQ(list.IndexOf(u"DIR/FILE.txt"), 0);
  EXPECT_EQ(list.IndexOf(u"\u00C4.TXT"), 1);
  EXPECT_EQ(list.IndexOf(u"\u00E4.txt"), -1);
  EXPECT_EQ(list.IndexOf(u"missing"), -1);
}

TEST(HashedStringList, DuplicateYieldsTheOccurrenceAddedLast) {
  TKelHashedStringList list;
  list.Add(u"a.txt");
  EXPECT_EQ(list.IndexOf(u"a.txt"), 0);  // builds the hash; the next Add goes into it
  list.Add(u"A.TXT");
  EXPECT_EQ(list.IndexOf(u"a.txt"), 1);
  list.Delete(1);
  EXPECT_EQ(list.IndexOf(u"a.txt"), 0);
}

TEST(HashedStringList, ChangesThatMoveIndexesRebuildOnTheNextLookup) {
  TKelHashedStringList list;
  for (const char16_t* s : {u"x", u"y", u"z"})
    list.Add(s);
  EXPECT_EQ(list.IndexOf(u"z"), 2);
  list.Delete(0);
  EXPECT_EQ(list.IndexOf(u"x"), -1);
  EXPECT_EQ(list.IndexOf(u"y"), 0);
  EXPECT_EQ(list.IndexOf(u"z"), 1);
  list.Insert(0, u"w");
  EXPECT_EQ(list.IndexOf(u"w"), 0);
  EXPECT_EQ(list.IndexOf(u"z"), 2);

  TStringList other{u"p", u"q"};
  list.Assign(other);
  EXPECT_EQ(list.IndexOf(u"z"), -1);
  EXPECT_EQ(list.IndexOf(u"q"), 1);
}

TEST(HashedStringList, UpdateMovesOnlyTheEntryOfThatIndex) {
  for (bool hashBuilt : {false, true}) {
    TKelHashedStringList list;
    list.Add(u"a.txt");
    list.Add(u"a.txt");
    if (hashBuilt) {
      ASSERT_EQ(list.IndexOf(u"a.txt"), 1);
    }
    list.Update(0, u"b.txt");
    EXPECT_EQ(list.IndexOf(u"b.txt"), 0) << hashBuilt;
    EXPECT_EQ(list.IndexOf(u"a.txt"), 1) << hashBuilt;
    list.SetStrings(1, u"c.txt");
    EXPECT_EQ(list.IndexOf(u"a.txt"), -1) << hashBuilt;
    EXPECT_EQ(list.IndexOf(u"c.txt"), 1) << hashBuilt;
  }
  TKelHashedStringList list;
  EXPECT_THROW(list.Update(0, u"x"), Exception);
}

TEST(HashedStringList, ValueHashGrowsWhenChainsWouldAverageMoreThanFive) {
  TKelHashedStringList list;
  EXPECT_EQ(list.ValueHashSize(), 0u) << "absent until the first lookup";
  list.Add(u"0");
  list.IndexOf(u"0");
  EXPECT_EQ(list.ValueHashSize(), 1000u);
  for (int i = 1; i < 5000; ++i)
    list.Add(UString(1, u'x') + char16_t(u'0' + i % 10) + u'/' + static_cast<char16_t>(0x100 + i));
  EXPECT_EQ(list.ValueHashSize(), 1000u);
  list.Add(u"last");  // 5001 strings over 1000 buckets
  EXPECT_EQ(list.ValueHashSize(), 0u);
  EXPECT_EQ(list.IndexOf(u"last"), 5000);
  EXPECT_EQ(list.ValueHashSize(), 5001u);
  EXPECT_EQ(list.IndexOf(u"0"), 0);
}

TEST(HashedStringList, StaleHashIsRebuiltWithAtLeastOneBucketPerString) {
  TKelHashedStringList list;
  list.Add(u"first");
  list.IndexOf(u"first");
  list.Delete(0);  // stale from here: the adds below do not go into it
  for (int i = 0; i < 3000; ++i)
    list.Add(UString(u"n") + static_cast<char16_t>(0x100 + i));
  EXPECT_EQ(list.IndexOf(UString(u"n") + static_cast<char16_t>(0x100 + 2999)), 2999);
  EXPECT_GE(list.ValueHashSize(), 3000u);
}

TEST(HashedStringList, NameHashIndexesTheTextBeforeTheFirstEquals) {
  TKelHashedStringList list;
  list.Add(u"Alpha=1");
  list.Add(u"beta=2=3");
  list.Add(u"gamma");
  EXPECT_EQ(list.IndexOfName(u"alpha"), 0);
  EXPECT_EQ(list.IndexOfName(u"BETA"), 1);
  EXPECT_EQ(list.IndexOfName(u"gamma"), -1);
  list.Update(0, u"delta=4");
  list.Add(u"epsilon=5");
  EXPECT_EQ(list.IndexOfName(u"alpha"), -1);
  EXPECT_EQ(list.IndexOfName(u"delta"), 0);
  EXPECT_EQ(list.IndexOfName(u"epsilon"), 3);
  list.Delete(0);
  EXPECT_EQ(list.IndexOfName(u"epsilon"), 2);
}

TEST(HashedStringList, ClearForgetsEverythingAndAddsAreFoundAfterIt) {
  TKelHashedStringList list;
  list.Add(u"a=1");
  EXPECT_EQ(list.IndexOf(u"a=1"), 0);
  EXPECT_EQ(list.IndexOfName(u"a"), 0);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.IndexOf(u"a=1"), -1);
  EXPECT_EQ(list.IndexOfName(u"a"), -1);
  list.Add(u"b=2");
  EXPECT_EQ(list.IndexOf(u"B=2"), 0);
  EXPECT_EQ(list.IndexOfName(u"b"), 0);
}

}  // namespace
}  // namespace kelvane
