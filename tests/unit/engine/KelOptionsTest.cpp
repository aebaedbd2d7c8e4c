#include "engine/KelOptions.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

TEST(TKelOptions, Defaults) {
  const TKelOptions o;
  EXPECT_EQ(o.StorePath(), spRelativePath);
  EXPECT_TRUE(o.Recurse());
  EXPECT_EQ(o.ShareMode(), smShareDenyNone);
  EXPECT_EQ(o.OverwriteMode(), omAlways);
  EXPECT_TRUE(o.CreateDirs());
  EXPECT_TRUE(o.ReplaceReadOnly());
  EXPECT_TRUE(o.SetAttributes());
  EXPECT_EQ(o.SearchAttr(), 0x28BF);
  EXPECT_TRUE(o.FlushBuffers());
  EXPECT_TRUE(o.OEMFileNames());
  EXPECT_FALSE(o.FollowLinks());
}

TEST(TKelOptions, AssignCopiesEverythingButShareMode) {
  TKelOptions source;
  source.SetStorePath(spFullPathWithDrive);
  source.SetRecurse(false);
  source.SetShareMode(smShareExclusive);
  source.SetOverwriteMode(omIfOlder);
  source.SetCreateDirs(false);
  source.SetReplaceReadOnly(false);
  source.SetSetAttributes(false);
  source.SetSearchAttr(0x0010);
  source.SetFlushBuffers(false);
  source.SetOEMFileNames(false);
  source.SetFollowLinks(true);

  TKelOptions dest;
  dest.SetShareMode(smShareDenyRead);
  dest.Assign(source);
  EXPECT_EQ(dest.StorePath(), spFullPathWithDrive);
  EXPECT_FALSE(dest.Recurse());
  EXPECT_EQ(dest.ShareMode(), smShareDenyRead);
  EXPECT_EQ(dest.OverwriteMode(), omIfOlder);
  EXPECT_FALSE(dest.CreateDirs());
  EXPECT_FALSE(dest.ReplaceReadOnly());
  EXPECT_FALSE(dest.SetAttributes());
  EXPECT_EQ(dest.SearchAttr(), 0x0010);
  EXPECT_FALSE(dest.FlushBuffers());
  EXPECT_FALSE(dest.OEMFileNames());
  EXPECT_TRUE(dest.FollowLinks());
}

TEST(TKelOptions, AssignFromAnotherKindIsRefused) {
  TKelOptions o;
  o.SetRecurse(false);
  const TStringList list{u"*.txt"};
  EXPECT_THROW(o.Assign(list), EConvertError);
  EXPECT_FALSE(o.Recurse());
}

TEST(TKelFileShareMode, MapsToSharingBitsOfTheFileMode) {
  const std::pair<TKelFileShareMode, uint16_t> cases[] = {
      {smShareCompat, 0x0000},   {smShareExclusive, 0x0010}, {smShareDenyWrite, 0x0020},
      {smShareDenyRead, 0x0030}, {smShareDenyNone, 0x0040},
  };
  for (const auto& [mode, bits] : cases)
    EXPECT_EQ(FileShareModeBits(mode), bits) << int(mode);
}

}  // namespace
}  // namespace kelvane
