#include "engine/Kelvane.h"

#include <gtest/gtest.h>

#include <fstream>
#include <locale>

#include "TempDir.h"

namespace kelvane {
namespace {

// Reaches the fields and operations that only derived classes see.
class TProbe : public TKelvane {
 public:
  using TKelBaseArchiver::DoAfterOpen;
  using TKelBaseArchiver::DoConfirmOverwrite;
  using TKelBaseArchiver::DoConfirmProcessFile;
  using TKelBaseArchiver::DoCopyTempFileProgress;
  using TKelBaseArchiver::DoDiskFull;
  using TKelBaseArchiver::DoExtractFile;
  using TKelBaseArchiver::DoFileProgress;
  using TKelBaseArchiver::DoOverallProgress;
  using TKelBaseArchiver::DoPassword;
  using TKelBaseArchiver::DoProcessFileFailure;
  using TKelBaseArchiver::DoProcessVolumeFailure;
  using TKelBaseArchiver::DoRequestBlankVolume;
  using TKelBaseArchiver::DoRequestFirstVolume;
  using TKelBaseArchiver::DoRequestLastVolume;
  using TKelBaseArchiver::DoRequestMiddleVolume;
  using TKelBaseArchiver::DoStoreFile;
  using TKelvane::TKelvane;
  uint16_t CompressionMethod() const { return FCompressionMethod; }
  bool ZipFormat() const { return isZIPFormat; }
  void SetProcessVolumeFailure(TKelProcessVolumeFailureEvent e) {
    FOnProcessVolumeFailure = std::move(e);
  }
};

class TBaseProbe : public TKelBaseArchiver {
 public:
  using TKelBaseArchiver::TKelBaseArchiver;
  uint16_t CompressionMethod() const { return FCompressionMethod; }
  bool ZipFormat() const { return isZIPFormat; }
  TZip64Mode Zip64Mode() const { return FZip64Mode; }
};

TEST(TKelvane, Defaults) {
  TProbe a(nullptr);
  EXPECT_EQ(a.CurrentVersion(), u"6.01 ");
  EXPECT_EQ(a.CompressionLevel(), clFastest);
  EXPECT_EQ(a.CompressionMode(), 1);
  EXPECT_EQ(a.CompressionMethod(), 8);
  EXPECT_EQ(a.Zip64Mode(), zmDisabled);
  EXPECT_FALSE(a.UnicodeFilenames());
  EXPECT_EQ(a.EncryptionMethod(), caPkzipClassic);
  EXPECT_TRUE(a.ZipFormat());
  EXPECT_FALSE(a.ExtractCorruptedFiles());
  EXPECT_TRUE(a.OpenCorruptedArchives());
  EXPECT_EQ(a.Password(), "");
  EXPECT_EQ(a.FileName(), u"");
  EXPECT_EQ(a.BaseDir(), u"");
  EXPECT_EQ(a.TempDir(), u"");
  EXPECT_EQ(a.SFXStub(), u"");
  EXPECT_EQ(a.SpanningMode(), smNone);
  EXPECT_EQ(a.SpanningOptions().VolumeSize(), vsAutoDetect);
  EXPECT_EQ(a.FileMasks().Count(), 0);
  EXPECT_EQ(a.ExclusionMasks().Count(), 0);
  EXPECT_EQ(a.NoCompressionMasks().Count(), 0);
  EXPECT_FALSE(a.InMemory());
  EXPECT_FALSE(a.Active());
  EXPECT_FALSE(a.InUpdate());
  EXPECT_EQ(a.Options().OverwriteMode(), omAlways);
  EXPECT_EQ(a.Options().SearchAttr(), 0x28BF);
  EXPECT_EQ(a.Options().ShareMode(), smShareDenyNone);
  EXPECT_EQ(a.VolumeNumberInfo().VolumeKind(), vnkUnknown);
  EXPECT_EQ(a.VolumeNumberInfo().VolumeNumber(), -1);
  EXPECT_FALSE(a.OnFileProgress());
  EXPECT_FALSE(a.OnExtractFile());
  EXPECT_FALSE(a.AfterOpen());
}

TEST(TKelBaseArchiver, DefaultsOfTheBaseClass) {
  TBaseProbe b(nullptr);
  EXPECT_EQ(b.CompressionLevel(), clFastest);
  EXPECT_EQ(b.CompressionMode(), 1);
  EXPECT_EQ(b.CompressionMethod(), 0xFFFF);  // the base knows no ZIP method
  EXPECT_FALSE(b.ZipFormat());
  EXPECT_EQ(b.Zip64Mode(), zmAuto);
  b.SetCompressionMode(0);
  EXPECT_EQ(b.CompressionMethod(), 0xFFFF);
}

TEST(TKelvane, CompressionModeSetsLevelAndMethod) {
  const TKelCompressionLevel levels[10] = {clNone,   clFastest, clFastest, clFastest, clNormal,
                                           clNormal, clNormal,  clMax,     clMax,     clMax};
  TProbe a(nullptr);
  for (uint8_t mode = 0; mode <= 9; ++mode) {
    a.SetCompressionMode(mode);
    EXPECT_EQ(a.CompressionMode(), mode);
    EXPECT_EQ(a.CompressionLevel(), levels[mode]) << int(mode);
    EXPECT_EQ(a.CompressionMethod(), mode == 0 ? 0 : 8) << int(mode);
  }
}

TEST(TKelvane, CompressionLevelSetsModeAndMethod) {
  const std::tuple<TKelCompressionLevel, uint8_t, uint16_t> cases[] = {
      {clMax, 9, 8}, {clNone, 0, 0}, {clNormal, 6, 8}, {clFastest, 1, 8}};
  TProbe a(nullptr);
  for (const auto& [level, mode, method] : cases) {
    a.SetCompressionLevel(level);
    EXPECT_EQ(a.CompressionLevel(), level);
    EXPECT_EQ(a.CompressionMode(), mode) << int(level);
    EXPECT_EQ(a.CompressionMethod(), method) << int(level);
  }
}

TEST(TKelvane, CompressionModeAboveNineIsRefusedWithoutChange) {
  TProbe a(nullptr);
  a.SetName(u"Archiver");
  a.SetCompressionMode(7);
  for (int bad : {10, 255}) {
    try {
      a.SetCompressionMode(static_cast<uint8_t>(bad));
      ADD_FAILURE() << bad << " accepted";
    } catch (const EKelException& e) {
      EXPECT_EQ(e.NativeError, 5);
      EXPECT_EQ(e.ErrorCode, 2);
      EXPECT_EQ(e.Message(),
                u"Archiver: Invalid compression mode. Mode must be in [0-9] range - Native "
                u"error: 00005");
    }
    EXPECT_EQ(a.CompressionMode(), 7);
    EXPECT_EQ(a.CompressionLevel(), clMax);
    EXPECT_EQ(a.CompressionMethod(), 8);
  }
}

// A numeric punctuation with a comma, to show the version ignores the locale.
struct TCommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(TKelvane, CurrentVersionIgnoresLocaleAndWrites) {
  TKelvane a(nullptr);
  const std::locale saved =
      std::locale::global(std::locale(std::locale::classic(), new TCommaPunct));
  const UString version = a.CurrentVersion();
  std::locale::global(saved);
  EXPECT_EQ(version, u"6.01 ");
  a.SetCurrentVersion(u"7.00");
  EXPECT_EQ(a.CurrentVersion(), u"6.01 ");
}

TEST(TKelvane, ClosedArchiveRefusesWhatNeedsOne) {
  TKelvane a(nullptr);
  a.SetName(u"Archiver");
  auto expectNotOpen = [](const std::function<void()>& call) {
    try {
      call();
      ADD_FAILURE() << "no error";
    } catch (const EKelException& e) {
      EXPECT_EQ(e.NativeError, 13);
      EXPECT_EQ(e.Message(), u"Archiver: Archive is not open - Native error: 00013");
    }
  };
  expectNotOpen([&] { a.Size(); });
  expectNotOpen([&] { a.FileCount(); });
  expectNotOpen([&] { a.SetComment("note"); });
  EXPECT_EQ(a.Comment(), "");
}

TEST(TKelvane, ExistsNeedsNoOpenArchive) {
  test::TempDir dir;
  std::ofstream(dir.NativePath("present.zip")) << "x";
  std::filesystem::create_directory(dir.NativePath("folder.zip"));
  struct TCase {
    UString name;
    bool exists;
  };
  const TCase cases[] = {
      {dir.Path(u"present.zip"), true},
      {dir.Path(u"missing.zip"), false},
      {dir.Path(u"folder.zip"), false},
      {u"", false},
  };
  TKelvane a(nullptr);
  for (const TCase& c : cases) {
    a.SetFileName(c.name);
    EXPECT_EQ(a.Exists(), c.exists) << ToUtf8(c.name);
    EXPECT_FALSE(a.Active());
  }
}

TEST(TKelvane, ClosedStateSettersOnlyStore) {
  TKelvane a(nullptr);
  a.SetSpanningMode(smSplitting);
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  a.SetInMemory(true);
  EXPECT_TRUE(a.InMemory());
  EXPECT_FALSE(a.Active());
  a.SetInMemory(false);  // closed: no file name needed
  EXPECT_FALSE(a.InMemory());
  a.SetActive(false);  // already closed: nothing happens
  EXPECT_FALSE(a.Active());
  a.SetPassword("secret");
  EXPECT_EQ(a.Password(), "secret");
}

TEST(TKelvane, ObjectPropertiesAreCopiedIntoOwnedObjects) {
  TKelvane a(nullptr);
  TStringList masks{u"*.txt", u"docs\\*"};
  a.SetFileMasks(masks);
  a.SetExclusionMasks(TStringList{u"*.bak"});
  a.SetNoCompressionMasks(TStringList{u"*.jpg", u"*.zip"});
  masks.Add(u"late");
  ASSERT_EQ(a.FileMasks().Count(), 2);
  EXPECT_EQ(a.FileMasks().Strings(1), u"docs\\*");
  EXPECT_EQ(a.ExclusionMasks().Strings(0), u"*.bak");
  EXPECT_EQ(a.NoCompressionMasks().Count(), 2);

  TKelOptions options;
  options.SetOverwriteMode(omNever);
  options.SetShareMode(smShareExclusive);
  a.SetOptions(options);
  EXPECT_EQ(a.Options().OverwriteMode(), omNever);
  EXPECT_EQ(a.Options().ShareMode(), smShareDenyNone);  // Assign keeps it

  a.Options().SetOverwriteMode(omIfNewer);
  EXPECT_EQ(a.Options().OverwriteMode(), omIfNewer);

  TKelSpanningOptions spanning;
  spanning.SetVolumeSize(vs650MB);
  a.SetSpanningOptions(spanning);
  EXPECT_EQ(a.SpanningOptions().VolumeSize(), vs650MB);
}

// Records its own destruction.
class TDestroyProbe : public TKelvane {
 public:
  TDestroyProbe(TComponent* owner, bool& destroyed) : TKelvane(owner), FDestroyed(destroyed) {}
  ~TDestroyProbe() override { FDestroyed = true; }

 private:
  bool& FDestroyed;
};

TEST(TKelvane, OwnerDestroysIt) {
  bool destroyed = false;
  {
    TComponent form(nullptr);
    auto* archiver = new TDestroyProbe(&form, destroyed);
    archiver->SetName(u"Archiver");
    ASSERT_EQ(form.ComponentCount(), 1);
    EXPECT_EQ(form.Components(0), archiver);
    EXPECT_EQ(archiver->Owner(), &form);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
}

TEST(TKelvane, DestroyedBeforeItsOwnerLeavesIt) {
  TComponent form(nullptr);
  bool destroyed = false;
  delete new TDestroyProbe(&form, destroyed);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(TKelvaneEvents, ProgressWithoutHandlersClearsCancel) {
  TProbe a(nullptr);
  bool cancel = true;
  a.DoOverallProgress(50, poExtract, ppProcess, cancel);
  EXPECT_FALSE(cancel);
  cancel = true;
  a.DoFileProgress(u"a/b.txt", 50, poExtract, ppProcess, cancel);
  EXPECT_FALSE(cancel);
  cancel = true;
  a.DoCopyTempFileProgress(50, ppProcess, cancel);
  EXPECT_FALSE(cancel);
}

TEST(TKelvaneEvents, ProgressHandlersGetArgumentsAndAnswer) {
  TProbe a(nullptr);
  UString seenName;
  std::vector<std::tuple<double, TKelProcessOperation, TKelProgressPhase>> seen;
  a.SetOnFileProgress([&](TKelBaseArchiver* sender, const UString& name, double progress,
                          TKelProcessOperation op, TKelProgressPhase phase, bool& cancel) {
    EXPECT_EQ(sender, &a);
    seenName = name;
    seen.emplace_back(progress, op, phase);
    cancel = true;
  });
  a.SetOnOverallProgress([&](TKelBaseArchiver* sender, double progress, TKelProcessOperation op,
                             TKelProgressPhase phase, bool& cancel) {
    EXPECT_EQ(sender, &a);
    seen.emplace_back(progress, op, phase);
    cancel = true;
  });
  // The copy report always starts from "go on": a stale cancel must not leak in.
  bool copyCancelSeen = true;
  a.SetOnCopyTempFileProgress(
      [&](TKelBaseArchiver*, double progress, TKelProgressPhase phase, bool& cancel) {
        copyCancelSeen = cancel;
        seen.emplace_back(progress, poUpdate, phase);
      });

  bool cancel = false;
  a.DoFileProgress(u"docs/sub/d.txt", 25, poTest, ppStart, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(seenName, UString(u"docs") + PathDelim + u"sub" + PathDelim + u"d.txt");
  cancel = false;
  a.DoOverallProgress(100, poDelete, ppEnd, cancel);
  EXPECT_TRUE(cancel);
  cancel = true;
  a.DoCopyTempFileProgress(75, ppProcess, cancel);
  EXPECT_FALSE(copyCancelSeen);
  EXPECT_FALSE(cancel);

  using T = std::tuple<double, TKelProcessOperation, TKelProgressPhase>;
  EXPECT_EQ(seen, (std::vector<T>{
                      {25, poTest, ppStart}, {100, poDelete, ppEnd}, {75, poUpdate, ppProcess}}));
}

TEST(TKelvaneEvents, QuestionsStartFromTheirDefaultsAndTakeTheAnswer) {
  TProbe a(nullptr);

  bool confirmSeen = false;
  a.SetOnConfirmProcessFile(
      [&](TKelBaseArchiver*, const UString& name, TKelProcessOperation op, bool& confirm) {
        EXPECT_EQ(name, u"x.bin");
        EXPECT_EQ(op, poAdd);
        confirmSeen = confirm;
        confirm = false;
      });
  bool confirm = false;
  a.DoConfirmProcessFile(u"x.bin", poAdd, confirm);
  EXPECT_TRUE(confirmSeen);
  EXPECT_FALSE(confirm);

  a.SetOnConfirmOverwrite(
      [&](TKelBaseArchiver*, const UString& source, UString& dest, bool& answer) {
        EXPECT_EQ(source, u"src");
        dest = dest + u".new";
        answer = true;
      });
  UString dest = u"out";
  confirm = false;
  a.DoConfirmOverwrite(u"src", dest, confirm);
  EXPECT_EQ(dest, u"out.new");
  EXPECT_TRUE(confirm);

  a.SetOnPassword([&](TKelBaseArchiver*, const UString& name, AnsiString& password, bool& skip) {
    EXPECT_EQ(name, u"secret.txt");
    password = "pw";
    skip = true;
  });
  AnsiString password;
  bool skip = false;
  a.DoPassword(u"secret.txt", password, skip);
  EXPECT_EQ(password, "pw");
  EXPECT_TRUE(skip);

  TKelAction actionSeen = fxaRetry;
  a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString& name, TKelProcessOperation op,
                                int32_t native, int32_t code, const UString& message,
                                TKelAction& action) {
    EXPECT_EQ(name, u"f");
    EXPECT_EQ(op, poExtract);
    EXPECT_EQ(native, 19);
    EXPECT_EQ(code, 9);
    EXPECT_EQ(message, u"msg");
    actionSeen = action;
    action = fxaRetry;
  });
  TKelAction action = fxaAbort;
  a.DoProcessFileFailure(u"f", poExtract, 19, 9, u"msg", action);
  EXPECT_EQ(actionSeen, fxaIgnore);
  EXPECT_EQ(action, fxaRetry);
}

TEST(TKelvaneEvents, VolumeHandlersCountVolumesFromOne) {
  TProbe a(nullptr);
  std::vector<int32_t> numbers;
  std::vector<bool> cancelsSeen;
  a.SetOnRequestBlankVolume([&](TKelBaseArchiver*, int32_t n, UString& name, bool& cancel) {
    numbers.push_back(n);
    cancelsSeen.push_back(cancel);
    name = u"blank";
  });
  a.SetOnRequestMiddleVolume([&](TKelBaseArchiver*, int32_t n, UString&, bool& cancel) {
    numbers.push_back(n);
    cancelsSeen.push_back(cancel);
    cancel = true;
  });
  a.SetOnDiskFull([&](TKelBaseArchiver*, int32_t n, const UString& name, bool& cancel) {
    EXPECT_EQ(name, u"vol");
    numbers.push_back(n);
    cancelsSeen.push_back(cancel);
  });
  a.SetOnRequestFirstVolume([&](TKelBaseArchiver*, UString& name, bool& cancel) {
    cancelsSeen.push_back(cancel);
    name = u"first";
  });
  a.SetOnRequestLastVolume([&](TKelBaseArchiver*, UString& name, bool& cancel) {
    cancelsSeen.push_back(cancel);
    name = u"last";
    cancel = true;
  });

  UString name = u"vol";
  bool cancel = true;
  a.DoRequestBlankVolume(0, name, cancel);
  EXPECT_EQ(name, u"blank");
  EXPECT_FALSE(cancel);
  a.DoRequestBlankVolume(-3, name, cancel);  // a negative number is the first volume
  cancel = true;
  a.DoRequestMiddleVolume(4, name, cancel);
  EXPECT_TRUE(cancel);
  name = u"vol";
  a.DoDiskFull(2, name, cancel);
  EXPECT_FALSE(cancel);
  a.DoRequestFirstVolume(name, cancel);
  EXPECT_EQ(name, u"first");
  a.DoRequestLastVolume(name, cancel);
  EXPECT_EQ(name, u"last");
  EXPECT_TRUE(cancel);

  EXPECT_EQ(numbers, (std::vector<int32_t>{1, 1, 5, 3}));
  EXPECT_EQ(cancelsSeen, (std::vector<bool>(6, false)));  // every request starts uncancelled
}

TEST(TKelvaneEvents, NamesCrossTheHandlerBoundaryWithDiskSeparators) {
  TProbe a(nullptr);
  const UString disk = UString(u"dir") + PathDelim + u"x.txt";

  // Extracting: the name is turned to disk form even without a handler.
  UString name = u"dir/x.txt";
  uint32_t attr = 0x20;
  a.DoExtractFile(name, attr, "c");
  EXPECT_EQ(name, disk);

  a.SetOnExtractFile(
      [&](TKelBaseArchiver*, UString& fileName, uint32_t& fileAttr, const AnsiString& comment) {
        EXPECT_EQ(fileName, disk);
        EXPECT_EQ(comment, "note");
        fileName = u"renamed";
        fileAttr = 0x01;
      });
  name = u"dir/x.txt";
  a.DoExtractFile(name, attr, "note");
  EXPECT_EQ(name, u"renamed");
  EXPECT_EQ(attr, 0x01u);

  // Storing: the handler sees disk form and the stored name comes back with "/".
  UString stored = u"dir/x.txt";
  int32_t fileAttr = 0x20;
  AnsiString comment;
  a.DoStoreFile(stored, fileAttr, comment, u"/src/dir/x.txt");
  EXPECT_EQ(stored, u"dir/x.txt");  // no handler: untouched

  a.SetOnStoreFile([&](TKelBaseArchiver*, UString& fileName, int32_t& attrib,
                       AnsiString& itemComment, const UString& original) {
    EXPECT_EQ(fileName, disk);
    EXPECT_EQ(original, u"/src/dir/x.txt");
    fileName = UString(u"new") + PathDelim + u"y.txt";
    attrib = 0x21;
    itemComment = "set";
  });
  a.DoStoreFile(stored, fileAttr, comment, u"/src/dir/x.txt");
  EXPECT_EQ(stored, u"new/y.txt");
  EXPECT_EQ(fileAttr, 0x21);
  EXPECT_EQ(comment, "set");
}

TEST(TKelvaneEvents, AfterOpenAndVolumeFailure) {
  TProbe a(nullptr);
  a.DoAfterOpen();  // unassigned: nothing happens
  int opened = 0;
  a.SetAfterOpen([&](TKelBaseArchiver* sender) {
    EXPECT_EQ(sender, &a);
    ++opened;
  });
  a.DoAfterOpen();
  EXPECT_EQ(opened, 1);

  bool cancel = false;
  a.DoProcessVolumeFailure(poAdd, 2, u"v", cancel);  // unassigned: no answer given
  EXPECT_FALSE(cancel);
  a.SetProcessVolumeFailure(
      [&](TKelBaseArchiver*, TKelProcessOperation op, int32_t n, const UString& name, bool& c) {
        EXPECT_EQ(op, poAdd);
        EXPECT_EQ(n, 2);  // passed on unchanged
        EXPECT_EQ(name, u"v");
        c = true;
      });
  a.DoProcessVolumeFailure(poAdd, 2, u"v", cancel);
  EXPECT_TRUE(cancel);
}

}  // namespace
}  // namespace kelvane
