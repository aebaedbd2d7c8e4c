// Extraction into a caller's stream, a buffer and a string: which item a name
// finds, what comes back, the progress reports and the errors.
#include <gtest/gtest.h>

#include "DecodeTestSupport.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;

class StreamOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FArchive.Write(FZip.Archive.data(), int64_t(FZip.Archive.size()));
    a.OpenArchive(FArchive, false);
  }

  const std::string FLong = NoiseText(300000);
  const TBuiltZip FZip = BuildZip({
      TTestEntry("readme.txt", "read me\n"),
      TTestEntry("docs/", "", 0),
      TTestEntry("docs/guide.txt", "the guide\n"),
      TTestEntry("docs/notes.txt", "notes\n"),
      TTestEntry("long.bin", FLong, 0),
      TTestEntry("cafe.txt", "caf\xE9\n", 0),  // ANSI bytes: e acute
      TTestEntry("broken.txt", "a broken item\n").WithCrc(1),
  });
  TMemoryStream FArchive;  // outlives the archiver
  TDecodeProbe a{nullptr};
};

TEST_F(StreamOpsTest, ANameFindsItsItemAndAMaskTheFirstMatchingOne) {
  struct Case {
    UString Name;
    std::string Expected;
  };
  const Case cases[] = {
      {u"readme.txt", "read me\n"},
      {u"README.TXT", "read me\n"},  // ASCII case does not matter
      {u"docs/guide.txt", "the guide\n"},
      {u"*.txt", "read me\n"},         // the first match in the root
      {u"docs/*.txt", "the guide\n"},  // the first match in docs
      {u"docs/n*", "notes\n"},         // mask in a folder
      {u"long.bin", FLong},
  };
  for (bool recurse : {false, true}) {
    a.Options().SetRecurse(recurse);
    for (const Case& c : cases) {
      SCOPED_TRACE(ToUtf8(c.Name));
      TMemoryStream out;
      a.ExtractToStream(c.Name, out);
      EXPECT_EQ(AsText(out), c.Expected);
    }
    // Recurse is put back however the operation ended.
    EXPECT_EQ(a.Options().Recurse(), recurse);
    TNullStream sink;
    EXPECT_THROW(a.ExtractToStream(u"missing.txt", sink), EKelException);
    EXPECT_EQ(a.Options().Recurse(), recurse);
  }
}

TEST_F(StreamOpsTest, ExtractToStreamWritesAtTheStreamsPosition) {
  TMemoryStream out;
  out.Write("head:", 5);
  a.ExtractToStream(u"docs/notes.txt", out);
  EXPECT_EQ(AsText(out), "head:notes\n");
}

TEST_F(StreamOpsTest, ErrorsOfTheStreamOperations) {
  char buffer[16] = {};
  UString text;
  TNullStream sink;
  struct Case {
    const char* What;
    std::function<void()> Call;
    int Native;
  };
  const Case cases[] = {
      {"stream, unknown name", [&] { a.ExtractToStream(u"nothing", sink); }, 15},
      {"buffer, unknown name", [&] { a.ExtractToBuffer(u"no*ne", buffer, 4, 0); }, 15},
      {"string, unknown name", [&] { a.ExtractToString(u"nothing", text); }, 15},
      {"stream, broken item", [&] { a.ExtractToStream(u"broken.txt", sink); }, 8},
      {"buffer, broken item verified", [&] { a.ExtractToBuffer(u"broken.txt", buffer, 0, 0); }, 8},
      {"string, broken item", [&] { a.ExtractToString(u"broken.txt", text); }, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(NativeErrorOf(c.Call), c.Native);
  }
  try {
    a.ExtractToStream(u"nothing.txt", sink);
    FAIL();
  } catch (const EKelException& e) {
    EXPECT_NE(e.Message().find(u"File \"nothing.txt\" not found"), UString::npos);
  }

  // An open update: nothing is extracted.
  a.UpdateCount() = 1;
  EXPECT_EQ(NativeErrorOf([&] { a.ExtractToStream(u"readme.txt", sink); }), 26);
  EXPECT_EQ(NativeErrorOf([&] { a.ExtractToBuffer(u"readme.txt", buffer, 2, 0); }), 26);
  EXPECT_EQ(NativeErrorOf([&] { a.ExtractToString(u"readme.txt", text); }), 26);
  a.UpdateCount() = 0;

  a.CloseArchive();
  EXPECT_EQ(NativeErrorOf([&] { a.ExtractToStream(u"readme.txt", sink); }), 13);
  EXPECT_EQ(NativeErrorOf([&] { a.ExtractToBuffer(u"readme.txt", buffer, 2, 0); }), 13);
  EXPECT_EQ(NativeErrorOf([&] { a.ExtractToString(u"readme.txt", text); }), 13);
}

TEST_F(StreamOpsTest, ExtractToStreamReportsItsProgress) {
  std::vector<std::string> events;
  a.SetOnOverallProgress(
      [&](TKelBaseArchiver*, double p, TKelProcessOperation op, TKelProgressPhase phase, bool&) {
        EXPECT_EQ(op, poExtract);
        if (phase != ppProcess) events.push_back("overall " + std::to_string(int(p)));
      });
  a.SetOnFileProgress([&](TKelBaseArchiver*, const UString& name, double p, TKelProcessOperation op,
                          TKelProgressPhase phase, bool&) {
    EXPECT_EQ(op, poExtract);
    EXPECT_EQ(name, u"long.bin");
    events.push_back("file " + std::to_string(int(p)) + (phase == ppEnd ? " end" : ""));
  });
  TMemoryStream out;
  a.ExtractToStream(u"long.bin", out);
  ASSERT_GE(events.size(), 5u);
  EXPECT_EQ(events.front(), "overall 0");
  EXPECT_EQ(events[events.size() - 2], "file 100 end");
  EXPECT_EQ(events.back(), "overall 100");
  // The decoder's reports in between grow to the whole item.
  EXPECT_EQ(events[events.size() - 3], "file 100");
}

// A cancel left from an earlier operation must not cut an extraction short.
TEST_F(StreamOpsTest, AnEarlierCancelDoesNotStopTheNextExtraction) {
  a.SetOnFileProgress([](TKelBaseArchiver*, const UString&, double, TKelProcessOperation,
                         TKelProgressPhase, bool&) {});
  a.SetOnOverallProgress(
      [](TKelBaseArchiver*, double, TKelProcessOperation, TKelProgressPhase, bool&) {});
  for (const std::function<void()>& call : std::vector<std::function<void()>>{
           [&] {
             TMemoryStream out;
             a.ExtractToStream(u"long.bin", out);
             EXPECT_EQ(AsText(out), FLong);
           },
           [&] {
             std::string buffer(FLong.size(), '\0');
             a.ExtractToBuffer(u"long.bin", buffer.data(), int32_t(buffer.size()), 0);
             EXPECT_EQ(buffer, FLong);
           },
           [&] {
             UString text;
             a.ExtractToString(u"long.bin", text);
             EXPECT_EQ(text.size(), FLong.size());
           }}) {
    a.ProgressCancel() = true;
    call();
  }
}

TEST_F(StreamOpsTest, ExtractToBufferCopiesTheRangeAsked) {
  struct Case {
    int64_t Start;
    int32_t Count;
  };
  const Case cases[] = {{0, 1}, {0, 300000}, {1, 10}, {65535, 2}, {299990, 10}, {123456, 70000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Start) + "+" + std::to_string(c.Count));
    std::string buffer(size_t(c.Count) + 1, '#');
    a.ExtractToBuffer(u"long.bin", buffer.data(), c.Count, c.Start);
    EXPECT_EQ(buffer.substr(0, size_t(c.Count)), FLong.substr(size_t(c.Start), size_t(c.Count)));
    EXPECT_EQ(buffer.back(), '#');  // nothing beyond Count
  }
  std::string buffer(FLong.size() + 100, '#');
  EXPECT_THROW(a.ExtractToBuffer(u"long.bin", buffer.data(), int32_t(FLong.size()) + 1, 0),
               EReadError);
  EXPECT_THROW(a.ExtractToBuffer(u"long.bin", buffer.data(), 10, int64_t(FLong.size()) - 5),
               EReadError);
  EXPECT_THROW(a.ExtractToBuffer(u"long.bin", buffer.data(), -1, 0), EReadError);
  EXPECT_THROW(a.ExtractToBuffer(u"long.bin", buffer.data(), 1, -1), EReadError);
}

TEST_F(StreamOpsTest, ExtractToStringReadsTheBytesAsAnsiText) {
  UString text;
  a.ExtractToString(u"docs/guide.txt", text);
  EXPECT_EQ(text, u"the guide\n");
  a.ExtractToString(u"cafe.txt", text);
  EXPECT_EQ(text, u"caf\u00e9\n");
  a.ExtractToString(u"docs/", text);
  EXPECT_EQ(text, u"");
}

}  // namespace
}  // namespace kelvane
