#include <gtest/gtest.h>

#include "ArchiveFiles.h"
#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using test::Found;
using test::MakeZip;
using test::TPyItem;
using Names = std::vector<std::string>;

class TSearchProbe : public TKelvane {
 public:
  using TKelBaseArchiver::TagItems;
  using TKelvane::TKelvane;
  std::vector<std::string> Tagged() {
    std::vector<std::string> names;
    for (int32_t i = 0; i < DMHandle->CDir.Count(); ++i)
      if (DMHandle->CDir.GetItemPtr(i).Tagged)
        names.push_back(ToUtf8(DMHandle->CDir.GetItemPtr(i).Name));
    return names;
  }
};

// The items every search case below runs against, all passed by 0x28BF.
class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeZip(dir.NativePath("s.zip"), {{"a.txt"},
                                      {"ab.txt"},
                                      {"abc.txt"},
                                      {"README"},
                                      {"bin/", 0x10},
                                      {"docs/b.txt"},
                                      {"DOCS/c.txt"},
                                      {"docs/sub/d.txt"},
                                      {"x.bak"}});
    a.SetFileName(dir.Path(u"s.zip"));
    a.OpenArchive(fmOpenRead | fmShareDenyNone);
  }

  test::TempDir dir;
  TSearchProbe a{nullptr};
};

TEST_F(SearchTest, ArgumentForm) {
  const UString d(1, PathDelim);
  struct {
    UString Mask;
    int32_t Attr;
    UString Exclusion;
    bool Recurse;
    Names Expected;
  } cases[] = {
      {u"*.*",
       0x28BF,
       u"",
       true,
       {"a.txt", "ab.txt", "abc.txt", "README", "bin", "docs/b.txt", "DOCS/c.txt", "docs/sub/d.txt",
        "x.bak"}},
      {u"*.txt",
       0x28BF,
       u"",
       true,
       {"a.txt", "ab.txt", "abc.txt", "docs/b.txt", "DOCS/c.txt", "docs/sub/d.txt"}},
      {u"*.txt", 0x28BF, u"", false, {"a.txt", "ab.txt", "abc.txt"}},
      {u"docs" + d + u"*.txt", 0x28BF, u"", false, {"docs/b.txt", "DOCS/c.txt"}},
      {u"docs" + d + u"sub" + d + u"*", 0x28BF, u"", false, {"docs/sub/d.txt"}},
      // Through the last name component.
      {u"b.txt", 0x28BF, u"", true, {"docs/b.txt"}},
      // Looked up by name: neither the attributes nor the exclusion apply.
      {u"docs" + d + u"b.txt", 0, u"*.txt", false, {"docs/b.txt"}},
      {u"DOCS" + d + u"B.TXT", 0x28BF, u"", false, {"docs/b.txt"}},
      {u"nothere.txt", 0x28BF, u"", false, {}},
      {u"*.", 0x28BF, u"", true, {"README", "bin"}},
      {u"a?.txt", 0x28BF, u"", true, {"ab.txt"}},
      {u"*.TXT", 0x28BF, u"", false, {"a.txt", "ab.txt", "abc.txt"}},
      {u"*.*",
       0x28BF,
       u"*.bak",
       true,
       {"a.txt", "ab.txt", "abc.txt", "README", "bin", "docs/b.txt", "DOCS/c.txt",
        "docs/sub/d.txt"}},
      // The exclusion is matched against the whole stored name.
      {u"*.txt", 0x28BF, u"docs/*", true, {"a.txt", "ab.txt", "abc.txt"}},
      {u"*" + d + u"sub" + d + u"*", 0x28BF, u"", true, {"docs/sub/d.txt"}},
      {u"", 0x28BF, u"", true, {}},
  };
  for (const auto& c : cases) {
    a.Options().SetRecurse(c.Recurse);
    EXPECT_EQ(Found(a, c.Mask, c.Attr, c.Exclusion), test::OnDisk(c.Expected))
        << ToUtf8(c.Mask) << " recurse " << c.Recurse;
  }
}

TEST_F(SearchTest, PropertyForm) {
  const UString d(1, PathDelim);
  struct {
    std::vector<UString> Masks, Exclusions;
    bool Recurse;
    Names Expected;
  } cases[] = {
      {{u"*.txt"},
       {},
       true,
       {"a.txt", "ab.txt", "abc.txt", "docs/b.txt", "DOCS/c.txt", "docs/sub/d.txt"}},
      {{u"*.txt", u"*.bak"}, {u"docs" + d + u"*"}, true, {"a.txt", "ab.txt", "abc.txt", "x.bak"}},
      {{u"README", u"*" + d + u"c.txt"}, {}, true, {"README", "DOCS/c.txt"}},
      {{}, {}, true, {}},
      {{u"*.*"}, {u"*.*"}, true, {}},
      // Without recursion each line looks into its own folder only.
      {{u"*.*"}, {}, false, {"a.txt", "ab.txt", "abc.txt", "README", "bin", "x.bak"}},
      {{u"docs" + d + u"*"}, {}, false, {"docs/b.txt", "DOCS/c.txt"}},
      {{u"*.bak", u"docs" + d + u"sub" + d + u"*"}, {}, false, {"docs/sub/d.txt", "x.bak"}},
  };
  for (const auto& c : cases) {
    a.FileMasks().Clear();
    a.ExclusionMasks().Clear();
    for (const UString& m : c.Masks)
      a.FileMasks().Add(m);
    for (const UString& m : c.Exclusions)
      a.ExclusionMasks().Add(m);
    a.Options().SetRecurse(c.Recurse);
    EXPECT_EQ(Found(a), test::OnDisk(c.Expected)) << "case with " << c.Masks.size() << " masks";
  }
}

TEST_F(SearchTest, TagItemsTagsExactlyWhatIsFound) {
  a.TagItems(u"*.txt", 0x28BF, u"*c.txt");
  EXPECT_EQ(a.Tagged(), (Names{"a.txt", "ab.txt", "docs/b.txt", "docs/sub/d.txt"}));
  a.FileMasks().Add(u"*.bak");
  a.TagItems();  // earlier tags are cleared first
  EXPECT_EQ(a.Tagged(), (Names{"x.bak"}));
}

TEST_F(SearchTest, NothingFoundLeavesTheResultAlone) {
  TKelArchiveItem f;
  ASSERT_TRUE(a.FindFirst(u"x.bak", f, 0x28BF, u""));
  EXPECT_FALSE(a.FindNext(f));  // the name lookup finds nothing after it
  EXPECT_EQ(f.FileName, u"x.bak");
  EXPECT_FALSE(a.FindFirst(u"*.none", f, 0x28BF, u""));
  EXPECT_EQ(f.FileName, u"x.bak");
}

TEST_F(SearchTest, AMaskLongerThanTheSearchHoldsIsRefused) {
  TKelArchiveItem f;
  const UString longest(259, u'*');
  EXPECT_TRUE(a.FindFirst(longest, f, 0x28BF, u""));
  try {
    a.FindFirst(longest + u"*", f, 0x28BF, u"");
    FAIL() << "no error";
  } catch (const EKelException& e) {
    EXPECT_EQ(e.NativeError, 61);
  }
}

TEST(Search, AttributeFilter) {
  test::TempDir dir;
  MakeZip(dir.NativePath("attr.zip"), {{"plain.txt", 0x20},
                                       {"hidden.txt", 0x22},
                                       {"system.txt", 0x24},
                                       {"label", 0x08},
                                       {"dir/", 0x10},
                                       {"hiddendir/", 0x12},
                                       {"readonly.txt", 0x21}});
  TKelvane a(nullptr);
  a.SetFileName(dir.Path(u"attr.zip"));
  a.OpenArchive();
  struct {
    int32_t Attr;
    Names Expected;
  } cases[] = {
      {0x28BF,
       {"plain.txt", "hidden.txt", "system.txt", "label", "dir", "hiddendir", "readonly.txt"}},
      {0x10, {"plain.txt", "dir", "readonly.txt"}},
      {0x00, {"plain.txt", "readonly.txt"}},
      {0x02, {"plain.txt", "hidden.txt", "readonly.txt"}},
      {0x12, {"plain.txt", "hidden.txt", "dir", "hiddendir", "readonly.txt"}},
      {0x0C, {"plain.txt", "system.txt", "label", "readonly.txt"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Found(a, u"*.*", c.Attr, u""), c.Expected) << std::hex << c.Attr;
  a.FileMasks().Add(u"*.*");
  a.Options().SetSearchAttr(0x02);
  EXPECT_EQ(Found(a), (Names{"plain.txt", "hidden.txt", "readonly.txt"}));
  // A folder with its hidden bit does not pass the folder mask: it counts as a file.
  EXPECT_EQ(a.FileCount(), 6);
}

TEST(Search, FileCountLeavesFoldersOut) {
  test::TempDir dir;
  MakeZip(dir.NativePath("c.zip"),
          {{"one.txt"}, {"f/", 0x10}, {"f/two.txt"}, {"f/g/", 0x10}, {"f/g/three.txt"}});
  TKelvane a(nullptr);
  a.SetFileName(dir.Path(u"c.zip"));
  a.OpenArchive();
  a.Options().SetRecurse(false);
  EXPECT_EQ(a.FileCount(), 3);
  EXPECT_FALSE(a.Options().Recurse());  // put back
}

TEST(Search, ResultFields) {
  test::TempDir dir;
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += "a line of text that compresses well\n";
  std::string noise;
  uint32_t x = 7;
  for (int i = 0; i < 5000; ++i) {
    x = x * 1664525u + 1013904223u;
    noise += static_cast<char>(x >> 24);
  }
  MakeZip(dir.NativePath("f.zip"), {{"docs/sub/text.txt", 0x21, text, false, "note"},
                                    {"empty.txt", 0x20, "", false},
                                    {"noise.bin", 0x20, noise, false},
                                    {"folder/", 0x10}});
  TKelvane a(nullptr);
  a.SetFileName(dir.Path(u"f.zip"));
  a.OpenArchive();

  TKelArchiveItem f;
  ASSERT_TRUE(a.FindFirst(u"text.txt", f, 0x28BF, u""));
  EXPECT_EQ(f.FileName, u"text.txt");
  EXPECT_EQ(f.StoredPath, UString(u"docs") + PathDelim + u"sub" + PathDelim);
  EXPECT_EQ(f.UncompressedSize, int64_t(text.size()));
  EXPECT_GT(f.CompressedSize, 0);
  EXPECT_LT(f.CompressedSize, f.UncompressedSize);
  EXPECT_DOUBLE_EQ(f.CompressionRate,
                   (1.0 - double(f.CompressedSize) / double(f.UncompressedSize)) * 100);
  EXPECT_EQ(f.LastModFileDate, ((2024 - 1980) << 9) | (5 << 5) | 17);
  EXPECT_EQ(f.LastModFileTime, (13 << 11) | (45 << 5) | (32 / 2));
  EXPECT_EQ(f.ExternalFileAttributes, 0x21u);
  EXPECT_EQ(f.Comment, "note");
  EXPECT_FALSE(f.Encrypted);
  EXPECT_NE(f.CRC, 0u);
  EXPECT_EQ(f.Handle.ItemNo, 0);

  ASSERT_TRUE(a.FindFirst(u"empty.txt", f, 0x28BF, u""));
  EXPECT_EQ(f.CompressionRate, 100);  // nothing to compress
  EXPECT_EQ(f.StoredPath, u"");
  ASSERT_TRUE(a.FindFirst(u"noise.bin", f, 0x28BF, u""));
  EXPECT_GT(f.CompressedSize, f.UncompressedSize);
  EXPECT_EQ(f.CompressionRate, 0);  // grew: no negative rate
  ASSERT_TRUE(a.FindFirst(u"fold*", f, 0x28BF, u""));
  EXPECT_EQ(f.FileName, u"folder");
  EXPECT_EQ(f.StoredPath, u"");
  EXPECT_EQ(f.Handle.ItemNo, 3);
}

TEST(Search, NeedsAnOpenArchive) {
  TSearchProbe a(nullptr);
  TKelArchiveItem f;
  auto nativeError = [](auto&& call) {
    try {
      call();
    } catch (const EKelException& e) {
      return e.NativeError;
    }
    return 0;
  };
  EXPECT_EQ(nativeError([&] { a.FindFirst(f); }), 13);
  EXPECT_EQ(nativeError([&] { a.FindFirst(u"*.*", f, 0x28BF, u""); }), 13);
  EXPECT_EQ(nativeError([&] { a.FindNext(f); }), 13);
  EXPECT_EQ(nativeError([&] { a.TagItems(); }), 13);
  EXPECT_EQ(nativeError([&] { a.FileCount(); }), 13);
}

}  // namespace
}  // namespace kelvane
