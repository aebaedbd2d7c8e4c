#include <gtest/gtest.h>

#include "NativeError.h"
#include "container/KelDirArray.h"
#include "container/KelExcept.h"
#include "names/NameText.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using test::NativeErrorOf;

// Adds one item the way the directory reader does: count first, then the name.
int32_t AddNamed(TKelDirArray& dir, const UString& name) {
  const int32_t index = dir.Count();
  dir.SetCount(index + 1);
  dir.SetItemName(index, name);
  return index;
}

int32_t Lookup(const TKelDirArray& dir, const UString& name) {
  int32_t itemNo = -2;
  const bool found = dir.FileExists(name, itemNo);
  EXPECT_EQ(found, itemNo >= 0);
  return itemNo;
}

TEST(DirArray, LookupIgnoresCaseOfAsciiLettersOnly) {
  TKelDirArray dir;
  AddNamed(dir, u"dir/file.txt");
  AddNamed(dir, u"\u00C4rger.txt");
  EXPECT_EQ(Lookup(dir, u"DIR/File.TXT"), 0);
  EXPECT_EQ(Lookup(dir, u"\u00C4RGER.TXT"), 1);
  EXPECT_EQ(Lookup(dir, u"\u00E4rger.txt"), -1);
  EXPECT_EQ(dir.GetItem(0).Name, u"dir/file.txt") << "the item keeps its own spelling";
}

TEST(DirArray, SameNameTwiceFindsTheOneAddedLast) {
  TKelDirArray dir;
  AddNamed(dir, u"a.txt");
  AddNamed(dir, u"A.TXT");
  EXPECT_EQ(Lookup(dir, u"a.txt"), 1);
  // Renaming the first of the two is a rename of that item, not an index fault.
  dir.SetItemName(0, u"b.txt");
  EXPECT_EQ(Lookup(dir, u"b.txt"), 0);
  EXPECT_EQ(Lookup(dir, u"a.txt"), 1);
}

TEST(DirArray, CapacityGrowsByADoublingStepCappedAt10000) {
  TKelDirArray dir;
  std::vector<int32_t> capacities;
  for (int i = 0; i < 35001; ++i) {
    dir.SetCount(dir.Count() + 1);
    if (capacities.empty() || capacities.back() != dir.AllocItemCount())
      capacities.push_back(dir.AllocItemCount());
    if (i == 1000) {
      EXPECT_EQ(capacities, (std::vector<int32_t>{1000, 3000}));
    }
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{1000, 3000, 7000, 15000, 25000, 35000, 45000}));
  EXPECT_EQ(dir.AllocBy, 10000);
}

TEST(DirArray, OneLargeCountIsAllocatedExactly) {
  TKelDirArray dir;
  dir.SetCount(65535);
  EXPECT_EQ(dir.AllocItemCount(), 65535);
  EXPECT_EQ(dir.AllocBy, 1000);
  dir.SetCount(10);
  EXPECT_EQ(dir.AllocItemCount(), 65535) << "the storage never shrinks but to 0";
  dir.SetCount(0);
  EXPECT_EQ(dir.AllocItemCount(), 0);
  EXPECT_EQ(dir.AllocBy, 1000);
  EXPECT_EQ(NativeErrorOf([&] { dir.SetCount(-1); }), 1);
}

TEST(DirArray, ItemsEnteringTheCountStartEmpty) {
  TKelDirArray dir;
  AddNamed(dir, u"x");
  TDirItem& item = dir.GetItemPtr(0);
  item.Tagged = item.Modified = true;
  item.KelEncryptionAlgorithm = caAES_256;
  item.ExtraFields.push_back({0xCAFE, {1}});
  item.CentralDir.crc32 = 7;
  dir.SetCount(0);
  dir.SetCount(1);
  const TDirItem fresh = dir.GetItem(0);
  EXPECT_TRUE(fresh.Name.empty());
  EXPECT_FALSE(fresh.Tagged || fresh.Modified);
  EXPECT_EQ(fresh.KelEncryptionAlgorithm, caPkzipClassic);
  EXPECT_TRUE(fresh.ExtraFields.empty());
  EXPECT_EQ(fresh.CentralDir, TKelZipCentralDir());
}

TEST(DirArray, ShrinkingTheCountForgetsTheNamesThatLeave) {
  TKelDirArray dir;
  for (const char16_t* n : {u"a", u"b", u"c"})
    AddNamed(dir, n);
  dir.SetCount(1);
  EXPECT_EQ(Lookup(dir, u"c"), -1);
  EXPECT_EQ(Lookup(dir, u"a"), 0);
  dir.SetCount(3);
  EXPECT_TRUE(dir.GetItem(2).Name.empty());
  dir.SetItemName(1, u"b2");
  EXPECT_EQ(Lookup(dir, u"b2"), 1);
}

TEST(DirArray, DeleteMovesLaterItemsDownAndTheirNamesWithThem) {
  TKelDirArray dir;
  for (const char16_t* n : {u"one", u"two", u"three"})
    AddNamed(dir, n);
  dir.DeleteItem(0);
  EXPECT_EQ(dir.Count(), 2);
  EXPECT_EQ(Lookup(dir, u"two"), 0);
  EXPECT_EQ(Lookup(dir, u"three"), 1);
  EXPECT_EQ(Lookup(dir, u"one"), -1);
  EXPECT_EQ(dir.GetItem(1).Name, u"three");
  dir.SetCount(3);
  EXPECT_TRUE(dir.GetItem(2).Name.empty()) << "the freed slot keeps nothing of the moved item";
}

class TCountedStream : public TMemoryStream {
 public:
  TCountedStream() { ++Alive; }
  ~TCountedStream() override { --Alive; }
  static inline int Alive = 0;
};

TEST(DirArray, DeletingAnItemReleasesTheStreamItOwns) {
  TKelDirArray dir;
  AddNamed(dir, u"from-stream");
  dir.GetItemPtr(0).SetStream(new TCountedStream, true);
  EXPECT_EQ(TCountedStream::Alive, 1);
  dir.DeleteItem(0);
  EXPECT_EQ(TCountedStream::Alive, 0);
}

TEST(DirArray, BadIndexesRaiseTheirNativeErrors) {
  TKelDirArray dir;
  AddNamed(dir, u"only");
  struct TCase {
    const char* what;
    std::function<void()> call;
    int native;
  };
  const TCase cases[] = {
      {"SetItem(Count)", [&] { dir.SetItem(1, TDirItem()); }, 1},
      {"SetItem(-1)", [&] { dir.SetItem(-1, TDirItem()); }, 1},
      {"SetItemName(Count)", [&] { dir.SetItemName(1, u"x"); }, 1},
      {"GetItem(Count)", [&] { dir.GetItem(1); }, 2},
      {"GetItem(-1)", [&] { dir.GetItem(-1); }, 2},
      {"GetItemPtr(Count)", [&] { dir.GetItemPtr(1); }, 3},
      {"DeleteItem(Count)", [&] { dir.DeleteItem(1); }, 4},
      {"DeleteItem(-1)", [&] { dir.DeleteItem(-1); }, 4},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(NativeErrorOf(c.call), c.native) << c.what;
  EXPECT_EQ(dir.Count(), 1);
  EXPECT_EQ(Lookup(dir, u"only"), 0);

  try {
    dir.GetItem(1);
    FAIL();
  } catch (const EKelException& e) {
    EXPECT_EQ(e.ErrorCode, 1);
    EXPECT_EQ(e.Message(), u"Index out of bounds - Native error: 00002");
  }
}

TEST(DirArray, SetItemBeyondTheIndexedItemsRaises58AndChangesNothing) {
  TKelDirArray dir;
  dir.SetCount(2);
  TDirItem item;
  item.Name = u"second";
  EXPECT_EQ(NativeErrorOf([&] { dir.SetItem(1, item); }), 58);
  EXPECT_TRUE(dir.GetItem(1).Name.empty());
  EXPECT_EQ(dir.ItemNamesList().Count(), 0);
  dir.SetItem(0, TDirItem());
  dir.SetItem(1, item);
  EXPECT_EQ(Lookup(dir, u"SECOND"), 1);
}

TEST(DirArray, NameIndexedElsewhereRaises59AndChangesNothing) {
  // A new item's current name is empty; an earlier item with an empty name holds
  // that entry, so the new item's own entry is not where it should be.
  TKelDirArray dir;
  dir.SetCount(2);
  dir.SetItemName(0, u"");
  EXPECT_EQ(NativeErrorOf([&] { dir.SetItemName(1, u"x"); }), 59);
  EXPECT_TRUE(dir.GetItem(1).Name.empty());
  EXPECT_EQ(dir.ItemNamesList().Count(), 1);
  EXPECT_EQ(Lookup(dir, u"x"), -1);
}

TEST(DirArray, SetItemReplacesTheNameInTheIndex) {
  TKelDirArray dir;
  AddNamed(dir, u"old.txt");
  AddNamed(dir, u"keep.txt");
  TDirItem item;
  item.Name = u"New.txt";
  dir.SetItem(0, item);
  EXPECT_EQ(Lookup(dir, u"old.txt"), -1);
  EXPECT_EQ(Lookup(dir, u"new.TXT"), 0);
  EXPECT_EQ(Lookup(dir, u"keep.txt"), 1);
}

TEST(DirArray, AssignAndAppendCopyItemsAndNeverShareTheirData) {
  TKelDirArray source;
  AddNamed(source, u"a");
  AddNamed(source, u"b");
  source.GetItemPtr(0).ExtraFields.push_back({0xCAFE, {1, 2}});
  source.GetItemPtr(1).Tagged = true;

  TKelDirArray copy;
  AddNamed(copy, u"gone");
  copy.Assign(source);
  copy.Append(source);
  EXPECT_EQ(copy.Count(), 4);
  EXPECT_EQ(Lookup(copy, u"gone"), -1);
  EXPECT_EQ(Lookup(copy, u"a"), 2);
  EXPECT_EQ(copy.GetItem(3).Name, u"b");
  EXPECT_TRUE(copy.GetItem(3).Tagged);

  source.GetItemPtr(0).ExtraFields[0].pData[0] = 99;
  EXPECT_EQ(copy.GetItem(0).ExtraFields[0].pData[0], 1);
  EXPECT_EQ(copy.GetItem(2).ExtraFields[0].pData[0], 1);

  copy.Assign(copy);  // a copy of itself changes nothing
  EXPECT_EQ(copy.Count(), 4);
  copy.ClearTags();
  for (int32_t i = 0; i < copy.Count(); ++i)
    EXPECT_FALSE(copy.GetItem(i).Tagged);
}

TEST(DirArray, ClearEmptiesItemsAndIndexButKeepsCapacity) {
  TKelDirArray dir;
  for (const char16_t* n : {u"a", u"b"})
    AddNamed(dir, n);
  const int32_t capacity = dir.AllocItemCount();
  dir.Clear();
  EXPECT_EQ(dir.Count(), 0);
  EXPECT_EQ(dir.AllocItemCount(), capacity);
  EXPECT_EQ(Lookup(dir, u"a"), -1);
  EXPECT_EQ(Lookup(dir, u"b"), -1);
  AddNamed(dir, u"b");
  EXPECT_EQ(Lookup(dir, u"b"), 0);
}

// Many names in a small table share runs of slots: renames take entries out of
// the middle of runs, deletions renumber every item behind them. After each
// step every name must lead to its item, and names no item has to none.
TEST(DirArray, LookupsFollowRenamesAndDeletionsOfManyItems) {
  TKelDirArray dir;
  std::vector<UString> model;
  auto nameOf = [](int n) { return u"Folder/\u00E9l\u00E8ve " + FromUtf8(std::to_string(n)); };
  for (int i = 0; i < 3000; ++i) {
    model.push_back(nameOf(i));
    AddNamed(dir, model.back());
  }
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245 + 12345;
    return (seed >> 8) % n;
  };
  for (int step = 0; step < 400; ++step) {
    const auto i = static_cast<int32_t>(next(static_cast<uint32_t>(model.size())));
    if (step % 5 == 4) {
      dir.DeleteItem(i);
      model.erase(model.begin() + i);
    } else {
      model[i] = nameOf(10000 + step);
      dir.SetItemName(i, model[i]);
    }
    if (step % 50 != 0) continue;
    ASSERT_EQ(dir.Count(), static_cast<int32_t>(model.size()));
    for (int32_t k = 0; k < dir.Count(); ++k)
      ASSERT_EQ(Lookup(dir, LowerCaseAscii(model[k])), k) << step;
  }
  for (int32_t k = 0; k < dir.Count(); ++k)
    ASSERT_EQ(Lookup(dir, model[k]), k);
  int found = 0;
  for (int n = 0; n < 10400; ++n)
    found += Lookup(dir, nameOf(n)) >= 0;
  EXPECT_EQ(found, dir.Count()) << "no name leads to an item that does not have it";
}

}  // namespace
}  // namespace kelvane
