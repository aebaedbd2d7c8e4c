#include "engine/KelExcept.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "container/KelConst.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// Which native codes select each message text, written down from the message
// table's rows rather than from the code table under test.
const std::map<int, std::vector<int>>& NativeCodesByMessage() {
  static const std::map<int, std::vector<int>> rows = {
      {0, {0}},
      {1, {1, 2, 3, 4, 7, 16, 21, 24}},
      {2, {5}},
      {3, {6}},
      {4, {8}},
      {5, {9, 10, 29}},
      {6, {11, 12, 15, 18, 30, 31, 38, 42, 53, 54}},
      {7, {13, 14}},
      {8, {17}},
      {9, {19, 23}},
      {10, {20}},
      {11, {22, 25}},
      {12, {33}},
      {13, {26}},
      {14, {27}},
      {15, {28}},
      {16, {32}},
      {17, {34}},
      {18, {35}},
      {19, {36}},
      {20, {37}},
      {21, {39}},
      {22, {40}},
      {23, {41, 43}},
      {24, {44, 45}},
      {25, {46}},
      {26, {47}},
      {27, {48, 57}},
      {28, {49}},
      {29, {50}},
      {30, {51}},
      {31, {52}},
      {32, {55}},
      {33, {56}},
      {34, {58, 59}},
      {35, {60}},
      {36, {61}},
      {37, {62}},
      {38, {63, 64}},
      {39, {65, 66}},
      {40, {67}},
  };
  return rows;
}

TEST(EKelException, NamedComponentPrefixesFormattedText) {
  TComponent archiver(nullptr);
  archiver.SetName(u"Archiver");
  const EKelException e(12, {UString(u"a.zip")}, &archiver);
  EXPECT_EQ(e.ErrorCode, 6);
  EXPECT_EQ(e.NativeError, 12);
  EXPECT_EQ(e.Message(), u"Archiver: File \"a.zip\" not found - Native error: 00012");
  EXPECT_STREQ(e.what(), "Archiver: File \"a.zip\" not found - Native error: 00012");
}

TEST(EKelException, MessageWithoutPrefix) {
  TComponent nameless(nullptr);
  struct TCase {
    int native;
    const TComponent* component;
    int errorCode;
    const char16_t* message;
  };
  const TCase cases[] = {
      {13, nullptr, 7, u"Archive is not open - Native error: 00013"},
      {13, &nameless, 7, u"Archive is not open - Native error: 00013"},
      {100, nullptr, 0, u"Unknown error - Native error: 00100"},
      {123456, nullptr, 0, u"Unknown error - Native error: 123456"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.native);
    const EKelException e(c.native, c.component);
    EXPECT_EQ(e.ErrorCode, c.errorCode);
    EXPECT_EQ(e.NativeError, c.native);
    EXPECT_EQ(e.Message(), c.message);
  }
}

TEST(EKelException, FormatArguments) {
  EXPECT_EQ(EKelException(34, {int64_t{5}, int64_t{7}}, nullptr).Message(),
            u"Invalid compressed size, rfs.size = 5, count = 7 - Native error: 00034");
  EXPECT_EQ(EKelException(61, {UString(u"/x/long")}, nullptr).Message(),
            u"File name is too long: \r\n\"/x/long\" - Native error: 00061");
  // Without arguments the text is taken unchanged, placeholder and all.
  EXPECT_EQ(EKelException(12, nullptr).Message(), u"File \"%s\" not found - Native error: 00012");
}

TEST(EKelException, IsAPlatformException) {
  try {
    throw EKelException(13, nullptr);
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Archive is not open - Native error: 00013");
  }
}

TEST(KelErrorCodes, EveryNativeCodeSelectsItsRow) {
  std::map<int, int> expected;
  for (const auto& [index, codes] : NativeCodesByMessage())
    for (int code : codes)
      ASSERT_TRUE(expected.emplace(code, index).second) << code;
  ASSERT_EQ(expected.size(), 68u);

  for (int native = 0; native <= 67; ++native) {
    SCOPED_TRACE(native);
    ASSERT_TRUE(expected.count(native));
    const EKelException e(native, nullptr);
    EXPECT_EQ(e.ErrorCode, expected[native]);
    const UString text = KelMessages[static_cast<size_t>(expected[native])];
    UString number = U(std::to_string(native));
    number.insert(0, 5 - number.size(), u'0');
    EXPECT_EQ(e.Message(), text + u" - Native error: " + number);
  }
}

TEST(KelErrorCodes, TableIsCompleteAndAscending) {
  std::set<int> indexesUsed;
  for (size_t i = 0; i < KelErrorCodes.size(); ++i) {
    EXPECT_EQ(KelErrorCodes[i].NativeCode, static_cast<int>(i));
    EXPECT_GE(KelErrorCodes[i].MessageIndex, 0);
    EXPECT_LT(KelErrorCodes[i].MessageIndex, KelMessageCount);
    indexesUsed.insert(KelErrorCodes[i].MessageIndex);
  }
  EXPECT_EQ(KelErrorCodes.size(), 68u);
  // Every text can be reached from some native code.
  EXPECT_EQ(indexesUsed.size(), static_cast<size_t>(KelMessageCount));
  for (const char16_t* text : KelMessages)
    EXPECT_NE(UString(text), u"");
}

}  // namespace
}  // namespace kelvane
