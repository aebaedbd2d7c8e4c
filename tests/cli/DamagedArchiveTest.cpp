// Damaged and unusual archives (make_damaged.py): what the engine reports of
// each (a rebuilt directory and why, local records it overrules) and what
// the tool prints and exits with. A damaged archive never passes for a good
// one; an archive other tools read is read; what is dangerous still fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "CliRun.h"
#include "engine/Kelvane.h"
#include "platform/Text.h"

namespace kelvane::test {
namespace {

namespace fs = std::filesystem;

class TDamagedArchives {
 public:
  static TDamagedArchives& Get() {
    static TDamagedArchives instance;
    return instance;
  }
  std::string Path(const std::string& name) const { return FDir.NativePath(name); }

 private:
  TDamagedArchives() {
    const std::string cmd =
        "python3 '" KELVANE_SOURCE_DIR "/tests/cli/make_damaged.py' '" + FDir.Root().string() + "'";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("make_damaged.py failed");
  }
  TempDir FDir;
};

// What the engine says of an archive: the cause of a rebuild, the items, and
// the local record reports and failures of testing every item.
struct TEngineView {
  TKelRecoveryCause Cause = rcNone;
  int32_t Items = 0;
  int Warnings = 0;
  int Failures = 0;
};

TEngineView EngineView(const std::string& path) {
  TEngineView view;
  TKelvane a(nullptr);
  a.SetFileName(FromUtf8(path));
  a.SetOnLocalRecordWarning([&](TKelBaseArchiver*, const UString&, TKelLocalRecord,
                                TKelLocalMismatch) { ++view.Warnings; });
  a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString&, TKelProcessOperation, int32_t,
                                int32_t, const UString&, TKelAction& action) {
    ++view.Failures;
    action = fxaIgnore;
  });
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  view.Cause = a.DirRecovery().Cause;
  view.Items = a.FileCount();
  a.TestFiles(u"*.*", KelAllItemsAttr, u"");
  return view;
}

struct TDamageRow {
  const char* Archive;
  const char* Damage;
  TEngineView Engine;
  std::vector<std::string> Args;  // after the archive; "test" when empty
  int Exit;
  std::string Out;  // text that standard output holds ("" for none in particular)
  std::string Err;  // text that standard error holds; "" for an empty one
};

const std::string kRebuiltEnd =
    "warning: the archive is damaged in its end record: no end record that fits the file";
const std::string kRebuiltDir =
    "warning: the archive is damaged in its central directory: the central directory cannot "
    "be read";

// clang-format off
const TDamageRow kRows[] = {
  {"good.zip", "none", {rcNone, 2, 0, 0}, {}, 0, "2 items tested, all good\n", ""},
  // The directory rebuilt from the local headers: the items verify, and the
  // archive is still reported as damaged.
  {"end_missing.zip", "the end record cut off", {rcNoEndRecord, 2, 0, 0}, {}, 1,
   "2 items tested, all good\nArchive damaged in its end record: no end record that fits the "
   "file (no end record signature in the last", kRebuiltEnd},
  {"end_missing.zip", "the same, extracted", {rcNoEndRecord, 2, 0, 0}, {"extract", "-d", "DEST"},
   1, "", kRebuiltEnd + " (no end record signature in the last"},
  {"end_missing.zip", "the same, listed", {rcNoEndRecord, 2, 0, 0}, {"list"}, 0, "a.txt",
   kRebuiltEnd},
  {"end_missing.zip", "the same, listed as JSON", {rcNoEndRecord, 2, 0, 0}, {"list", "--json"},
   0, "\"damaged\": true,\n  \"damage\": {\n    \"part\": \"end record\"", kRebuiltEnd},
  {"end_missing.zip", "the same, described", {rcNoEndRecord, 2, 0, 0}, {"info"}, 0,
   "Damaged:       yes, in its end record: no end record that fits the file", kRebuiltEnd},
  {"end_missing.zip", "the same, described as JSON", {rcNoEndRecord, 2, 0, 0}, {"info", "--json"},
   0, "\"recoveredItems\": 2", kRebuiltEnd},
  {"end_damaged.zip", "the end record's directory offset beyond its directory",
   {rcNoEndRecord, 2, 0, 0}, {}, 1,
   "Archive damaged in its end record: no end record that fits the file (an end record "
   "signature is there, but its record does not fit the file); 2 items recovered from the local "
   "headers, 2 verified", kRebuiltEnd},
  {"dir_size_wrong.zip", "the directory size 10 bytes short", {rcUnreadableDirectory, 2, 0, 0},
   {}, 1, "Archive damaged in its central directory", kRebuiltDir},
  {"central_sig_broken.zip", "a central header's signature broken",
   {rcUnreadableDirectory, 2, 0, 0}, {}, 1,
   "Archive damaged in its central directory: the central directory cannot be read (central "
   "header 1 of 2 has no signature); 2 items recovered from the local headers, 2 verified",
   kRebuiltDir},
  {"truncated.zip", "cut in the middle of the directory", {rcNoEndRecord, 2, 0, 0}, {}, 1,
   "2 items recovered from the local headers, 2 verified", kRebuiltEnd},
  {"good.zip", "none, described", {rcNone, 2, 0, 0}, {"info"}, 0, "Damaged:       no\n", ""},
  // End records where other tools find them.
  {"comment_end.zip", "an end record inside the archive comment", {rcNone, 2, 0, 0}, {}, 0,
   "2 items tested, all good\n", ""},
  {"comment_zip64.zip", "a Zip64 locator and an end record inside the archive comment",
   {rcNone, 2, 0, 0}, {}, 0, "2 items tested, all good\n", ""},
  {"signed_sfx.zip", "a stub in front, a signature behind the end record", {rcNone, 2, 0, 0}, {},
   0, "2 items tested, all good\n", ""},
  // Local records the directory overrules: reported, decoded by the directory.
  {"descriptor_sizes.zip", "a data descriptor with another compressed size", {rcNone, 2, 1, 0},
   {}, 0, "2 items tested, all good\n",
   "kelvane: warning: a.txt: the data descriptor's compressed size differs from the central "
   "directory; read by the central directory\n"},
  {"descriptor_sizes.zip", "the same, extracted", {rcNone, 2, 1, 0}, {"extract", "-d", "DEST"}, 0,
   "", "kelvane: warning: a.txt: the data descriptor's compressed size differs"},
  {"local_zip64_twice.zip", "a local header with its Zip64 field twice", {rcNone, 2, 1, 0}, {}, 0,
   "2 items tested, all good\n",
   "kelvane: warning: a.txt: the local header's Zip64 field is malformed"},
  // Still refused.
  {"bzip2.zip", "an item of method 12", {rcNone, 2, 0, 1}, {}, 1,
   "FAILED  b.txt: Invalid size or check sum of file or unsupported compression format - Native "
   "error: 00008; method 12 (bzip2) is not supported\n2 items tested, 1 failed\n", ""},
  {"into_directory.zip", "an item whose data would reach into the directory", {rcNone, 2, 0, 1},
   {}, 1, "FAILED  b.txt: Invalid size or check sum of file", ""},
};
// clang-format on

TEST(CliDamagedArchive, TheEngineReportsAndTheToolSaysWhatWasRecovered) {
  TDamagedArchives& archives = TDamagedArchives::Get();
  for (const TDamageRow& row : kRows) {
    SCOPED_TRACE(std::string(row.Archive) + ": " + row.Damage);
    const std::string path = archives.Path(row.Archive);

    const TEngineView engine = EngineView(path);
    EXPECT_EQ(engine.Cause, row.Engine.Cause);
    EXPECT_EQ(engine.Items, row.Engine.Items);
    EXPECT_EQ(engine.Warnings, row.Engine.Warnings);
    EXPECT_EQ(engine.Failures, row.Engine.Failures);

    TempDir dir;
    const std::string dest = dir.NativePath("out");
    std::vector<std::string> args = row.Args.empty() ? std::vector<std::string>{"test"} : row.Args;
    args.insert(args.begin() + 1, path);
    for (std::string& a : args)
      if (a == "DEST") a = dest;
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.Status, row.Exit) << run.Out << run.Err;
    EXPECT_NE(run.Out.find(row.Out), std::string::npos) << run.Out;
    if (row.Err.empty())
      EXPECT_EQ(run.Err, "");
    else
      EXPECT_NE(run.Err.find(row.Err), std::string::npos) << run.Err;
    // Extracting a damaged archive still writes what was recovered.
    if (args[0] == "extract" && engine.Failures == 0) {
      EXPECT_TRUE(fs::exists(dest + "/a.txt"));
      EXPECT_TRUE(fs::exists(dest + "/b.txt"));
    }
  }
}

}  // namespace
}  // namespace kelvane::test
