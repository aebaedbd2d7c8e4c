#include "container/KelVolumeInfo.h"

namespace kelvane {

void TKelVolumeNumberInfo::Init() {
  FVolumeKind = vnkUnknown;
  FVolumeNumber = -1;
  FLastVolumeNumber = -1;
}

void TKelVolumeNumberInfo::SetFirstVolume(bool value) {
  if (!value) return;
  FVolumeNumber = 0;
  FVolumeKind = vnkFirst;
}

bool TKelVolumeNumberInfo::LastVolume() const {
  if (FLastVolumeNumber == -1) return FVolumeKind == vnkLast;
  return FVolumeNumber == FLastVolumeNumber;
}

void TKelVolumeNumberInfo::SetLastVolume(bool value) {
  if (!value) return;
  FVolumeNumber = FLastVolumeNumber;
  FVolumeKind = vnkLast;
}

void TKelVolumeNumberInfo::SetVolumeNumber(int32_t value) {
  FVolumeNumber = value;
  FVolumeKind = vnkCustom;
}

bool TKelVolumeNumberInfo::IsEqualTo(const TKelVolumeNumberInfo& Other) const {
  if (LastVolume()) return Other.LastVolume();
  if (FirstVolume()) return Other.FirstVolume();
  if (FVolumeNumber < 0) return FVolumeKind == Other.FVolumeKind;
  return FVolumeNumber == Other.FVolumeNumber;
}

void TKelSpanningOptions::Assign(const TPersistent& source) {
  if (auto* other = dynamic_cast<const TKelSpanningOptions*>(&source)) {
    FAdvancedNaming = other->FAdvancedNaming;
    FFirstVolumeSize = other->FFirstVolumeSize;
    FVolumeSize = other->FVolumeSize;
    FCustomVolumeSize = other->FCustomVolumeSize;
    FSaveDirToFirstVolume = other->FSaveDirToFirstVolume;
    return;
  }
  TPersistent::Assign(source);
}

void TKelSpanningOptions::SetCustomVolumeSize(int64_t value) {
  FCustomVolumeSize = value < KelMinCustomVolumeSize ? KelMinCustomVolumeSize : value;
}

int64_t TKelSpanningOptions::GetVolumeSize(const TKelVolumeNumberInfo& Info) const {
  if (Info.FirstVolume() && FFirstVolumeSize > 0) return FFirstVolumeSize;
  constexpr int64_t MiB = 1024 * 1024;
  switch (FVolumeSize) {
    case vsAutoDetect:
      return -1;
    case vsCustom:
      return FCustomVolumeSize;
    case vs1_44MB:
      return 1457664;  // 2,847 sectors of 512 bytes: what a formatted floppy holds
    case vs100MB:
      return 100 * MiB;
    case vs200MB:
      return 200 * MiB;
    case vs250MB:
      return 250 * MiB;
    case vs600MB:
      return 600 * MiB;
    case vs650MB:
      return 650 * MiB;
    case vs700MB:
      return 700 * MiB;
    case vs4700MB:
      return 4700 * MiB;
  }
  return -1;  // a value outside the enumeration: no limit rather than a bogus one
}

}  // namespace kelvane
