// The volume descriptor and spanning options live in container/; they are
// tested here beside the component that owns them.
#include "container/KelVolumeInfo.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

TKelVolumeNumberInfo Numbered(int32_t number, int32_t last = -1) {
  TKelVolumeNumberInfo info;
  info.SetLastVolumeNumber(last);
  info.SetVolumeNumber(number);
  return info;
}

TKelVolumeNumberInfo First() {
  TKelVolumeNumberInfo info;
  info.SetFirstVolume(true);
  return info;
}

TKelVolumeNumberInfo Last(int32_t last = -1) {
  TKelVolumeNumberInfo info;
  info.SetLastVolumeNumber(last);
  info.SetLastVolume(true);
  return info;
}

TEST(TKelVolumeNumberInfo, InitialStateIsUnknown) {
  TKelVolumeNumberInfo info = Numbered(4, 7);
  info.Init();
  EXPECT_EQ(info.VolumeKind(), vnkUnknown);
  EXPECT_EQ(info.VolumeNumber(), -1);
  EXPECT_EQ(info.LastVolumeNumber(), -1);
  EXPECT_FALSE(info.FirstVolume());
  EXPECT_FALSE(info.LastVolume());
}

TEST(TKelVolumeNumberInfo, FirstAndLastFlags) {
  const TKelVolumeNumberInfo first = First();
  EXPECT_EQ(first.VolumeKind(), vnkFirst);
  EXPECT_EQ(first.VolumeNumber(), 0);
  EXPECT_TRUE(first.FirstVolume());

  // The last volume's number is unknown until the directory tells it.
  const TKelVolumeNumberInfo lastUnknown = Last();
  EXPECT_EQ(lastUnknown.VolumeKind(), vnkLast);
  EXPECT_EQ(lastUnknown.VolumeNumber(), -1);
  EXPECT_TRUE(lastUnknown.LastVolume());

  const TKelVolumeNumberInfo lastKnown = Last(5);
  EXPECT_EQ(lastKnown.VolumeNumber(), 5);
  EXPECT_TRUE(lastKnown.LastVolume());

  // A numbered volume that happens to be the last one counts as last.
  EXPECT_TRUE(Numbered(5, 5).LastVolume());
  EXPECT_FALSE(Numbered(4, 5).LastVolume());
  EXPECT_EQ(Numbered(4, 5).VolumeKind(), vnkCustom);
  EXPECT_TRUE(Numbered(0).FirstVolume());

  // Clearing a flag does nothing.
  TKelVolumeNumberInfo info = Numbered(3, 5);
  info.SetFirstVolume(false);
  info.SetLastVolume(false);
  EXPECT_EQ(info.VolumeNumber(), 3);
  EXPECT_EQ(info.VolumeKind(), vnkCustom);
}

TEST(TKelVolumeNumberInfo, IsEqualTo) {
  TKelVolumeNumberInfo unknown;
  struct TCase {
    const char* what;
    TKelVolumeNumberInfo a, b;
    bool equal;
  };
  const TCase cases[] = {
      {"last vs last", Last(), Last(), true},
      {"last vs numbered last", Last(), Numbered(5, 5), true},
      {"last vs middle", Last(5), Numbered(3, 5), false},
      {"first vs numbered 0", First(), Numbered(0), true},
      {"first vs numbered 1", First(), Numbered(1), false},
      {"same number", Numbered(3), Numbered(3), true},
      {"other number", Numbered(3), Numbered(4), false},
      {"unknown vs unknown", unknown, unknown, true},
      {"unknown vs numbered -1", unknown, Numbered(-1), false},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(c.a.IsEqualTo(c.b), c.equal) << c.what;
}

TEST(TKelSpanningOptions, Defaults) {
  const TKelSpanningOptions o;
  EXPECT_FALSE(o.AdvancedNaming());
  EXPECT_EQ(o.FirstVolumeSize(), 0);
  EXPECT_EQ(o.VolumeSize(), vsAutoDetect);
  EXPECT_EQ(o.CustomVolumeSize(), 0);
  EXPECT_FALSE(o.SaveDirToFirstVolume());
}

TEST(TKelSpanningOptions, CustomVolumeSizeHasAFloor) {
  const std::pair<int64_t, int64_t> cases[] = {
      {1000, 65536},
      {0, 65536},
      {-5, 65536},
      {65535, 65536},
      {65536, 65536},
      {65537, 65537},
      {int64_t{5} << 32, int64_t{5} << 32},
  };
  for (const auto& [set, read] : cases) {
    TKelSpanningOptions o;
    o.SetCustomVolumeSize(set);
    EXPECT_EQ(o.CustomVolumeSize(), read) << set;
  }
}

TEST(TKelSpanningOptions, GetVolumeSizeBySize) {
  const std::pair<TKelVolumeSize, int64_t> cases[] = {
      {vsAutoDetect, -1},   {vsCustom, 200000},       {vs1_44MB, 1457664},  {vs100MB, 104857600},
      {vs200MB, 209715200}, {vs250MB, 262144000},     {vs600MB, 629145600}, {vs650MB, 681574400},
      {vs700MB, 734003200}, {vs4700MB, 4928307200LL},
  };
  for (const auto& [size, bytes] : cases) {
    TKelSpanningOptions o;
    o.SetCustomVolumeSize(200000);
    o.SetVolumeSize(size);
    EXPECT_EQ(o.GetVolumeSize(Numbered(2)), bytes) << int(size);
    EXPECT_EQ(o.GetVolumeSize(First()), bytes) << int(size);  // no first-volume limit set
  }
}

TEST(TKelSpanningOptions, FirstVolumeSizeAppliesToVolumeZeroOnly) {
  TKelSpanningOptions o;
  o.SetVolumeSize(vs100MB);
  o.SetFirstVolumeSize(5000);
  EXPECT_EQ(o.GetVolumeSize(First()), 5000);
  EXPECT_EQ(o.GetVolumeSize(Numbered(0)), 5000);
  EXPECT_EQ(o.GetVolumeSize(Numbered(1)), 104857600);
  EXPECT_EQ(o.GetVolumeSize(Last()), 104857600);

  o.SetFirstVolumeSize(-10);  // not a limit: the volume size decides
  EXPECT_EQ(o.GetVolumeSize(First()), 104857600);
}

TEST(TKelSpanningOptions, AssignCopiesAllFive) {
  TKelSpanningOptions source;
  source.SetAdvancedNaming(true);
  source.SetFirstVolumeSize(123456);
  source.SetVolumeSize(vsCustom);
  source.SetCustomVolumeSize(70000);
  source.SetSaveDirToFirstVolume(true);

  TKelSpanningOptions dest;
  dest.Assign(source);
  EXPECT_TRUE(dest.AdvancedNaming());
  EXPECT_EQ(dest.FirstVolumeSize(), 123456);
  EXPECT_EQ(dest.VolumeSize(), vsCustom);
  EXPECT_EQ(dest.CustomVolumeSize(), 70000);
  EXPECT_TRUE(dest.SaveDirToFirstVolume());

  EXPECT_THROW(dest.Assign(TStringList{}), EConvertError);
}

}  // namespace
}  // namespace kelvane
