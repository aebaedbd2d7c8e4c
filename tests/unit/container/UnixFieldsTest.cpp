#include "container/KelUnixFields.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

TEST(ExtendedTimestamp, WritesFlagsAndTheModificationTimeLittleEndian) {
  const auto block = BuildExtendedTimestampField(0x5E0D5DA5);  // 2020-01-02 03:04:05 UTC
  ASSERT_TRUE(block);
  TBytes bytes;
  TKelByteWriter out(bytes);
  block->Write(out);
  EXPECT_EQ(bytes, (TBytes{0x55, 0x54, 5, 0, 0x01, 0xA5, 0x5D, 0x0D, 0x5E}));
  EXPECT_EQ(ExtendedTimestampMTime(block->pData), 0x5E0D5DA5);
}

TEST(ExtendedTimestamp, TimesOutsideWhatEveryReaderAgreesOnAreLeftOut) {
  EXPECT_TRUE(BuildExtendedTimestampField(0));
  EXPECT_TRUE(BuildExtendedTimestampField(INT32_MAX));
  EXPECT_FALSE(BuildExtendedTimestampField(-1));
  EXPECT_FALSE(BuildExtendedTimestampField(int64_t{INT32_MAX} + 1));
}

TEST(ExtendedTimestamp, ReadsTheModificationTimeOfTheFormsOtherToolsWrite) {
  const struct {
    const char* What;
    TBytes Data;
    std::optional<int64_t> MTime;
  } cases[] = {
      {"central: flags announce three times, only the first is there",
       {0x07, 0x01, 0x02, 0x03, 0x04},
       0x04030201},
      {"local: modification and access times", {0x03, 1, 0, 0, 0, 2, 0, 0, 0}, 1},
      {"above 2^31 is read unsigned", {0x01, 0x00, 0x00, 0x00, 0x80}, int64_t{0x80000000}},
      {"flags without the modification time", {0x06, 1, 2, 3, 4}, std::nullopt},
      {"time cut short", {0x01, 1, 2, 3}, std::nullopt},
      {"no data", {}, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExtendedTimestampMTime(c.Data), c.MTime) << c.What;

  const TKelExtraFields fields = {{0x5455, {0x01, 9}},  // broken: passed over
                                  {0x7875, {0x01, 4, 0, 0, 0, 0}},
                                  {0x5455, {0x01, 7, 0, 0, 0}},
                                  {0x5455, {0x01, 8, 0, 0, 0}}};
  EXPECT_EQ(ItemUnixMTime(fields), 7);
  EXPECT_EQ(ItemUnixMTime({{0x0001, {0x01, 7, 0, 0, 0}}}), std::nullopt);
}

TEST(UnixAttributes, ModeGoesHighAndTheDosBitsFollowIt) {
  const struct {
    uint32_t Mode;
    bool Hidden;
    uint32_t Attr;
  } cases[] = {
      {0100755, false, 0x81ED0020},                                // executable script
      {0100644, true, 0x81A40022},                                 // ".profile"
      {0100444, false, 0x81240021},                                // no owner write: read-only
      {0100044, false, 0x80240021}, {0040755, false, 0x41ED0010},  // folder
      {0040555, false, 0x416D0011}, {0120777, false, 0xA1FF0020},  // link
  };
  for (const auto& c : cases)
    EXPECT_EQ(UnixExternalAttributes(c.Mode, c.Hidden), c.Attr) << std::oct << c.Mode;
}

TEST(UnixAttributes, OnlyUnixHostsCarryAModeAndTheirHostSurvivesStoring) {
  const struct {
    uint16_t MadeBy;
    uint32_t Attr;
    std::optional<uint32_t> Mode;
    bool Link;
  } cases[] = {
      {0x031E, 0x81ED0000, 0100755, false},  // written by Unix zip tools
      {0x0314, 0xA1FF0020, 0120777, true},
      {0x1314, 0x81A40020, 0100644, false},  // OS X
      {0x0314, 0x00000020, std::nullopt, false},
      {0x0014, 0xA1FF0020, std::nullopt, false},  // DOS host: the high bits mean nothing
      {0x0B14, 0x81ED0020, std::nullopt, false},
      {0x0A14, 0xA1FF0020, std::nullopt, false},  // NTFS
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.MadeBy);
    TKelZipCentralDir header;
    header.versionMadeBy = c.MadeBy;
    header.externalAttr = c.Attr;
    EXPECT_EQ(UnixModeOf(header), c.Mode);
    EXPECT_EQ(IsUnixLink(header), c.Link);
  }

  const struct {
    uint16_t Current, Version, Result;
  } versions[] = {
      {0x0314, 45, 0x032D},     {0x0314, 0x0B14, 0x0314}, {0x0314, 20, 0x0314},
      {0x1314, 45, 0x132D},     {0x0B14, 45, 45},         {0x0014, 0x0B14, 0x0B14},
      {0x0B14, 0x0B14, 0x0B14},
  };
  for (const auto& v : versions)
    EXPECT_EQ(VersionMadeByFor(v.Current, v.Version), v.Result) << v.Current << " " << v.Version;
}

}  // namespace
}  // namespace kelvane
