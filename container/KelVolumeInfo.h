// Which volume of a multi-volume archive is meant, and how large volumes may be.
#pragma once

#include <cstdint>

#include "platform/Component.h"

namespace kelvane {

enum TKelSpanningMode : uint8_t { smNone, smSpanning, smSplitting };

enum TKelVolumeNumberKind : uint8_t { vnkFirst, vnkLast, vnkCustom, vnkUnknown };

enum TKelVolumeSize : uint8_t {
  vsAutoDetect,
  vsCustom,
  vs1_44MB,
  vs100MB,
  vs200MB,
  vs250MB,
  vs600MB,
  vs650MB,
  vs700MB,
  vs4700MB
};

// Describes one volume. The last volume's number is often unknown while reading
// (it holds the directory that tells), so "last" is a kind of its own until then.
class TKelVolumeNumberInfo {
 public:
  TKelVolumeNumberInfo() { Init(); }

  // Kind vnkUnknown, number -1, last number -1.
  void Init();

  // True when the number is 0.
  bool FirstVolume() const { return FVolumeNumber == 0; }
  // True sets number 0 and kind vnkFirst; false does nothing.
  void SetFirstVolume(bool value);

  // With an unknown last number: whether the kind is vnkLast; otherwise whether
  // the number is the last number.
  bool LastVolume() const;
  // True copies the last number (possibly -1) into the number and sets kind
  // vnkLast; false does nothing.
  void SetLastVolume(bool value);

  int32_t VolumeNumber() const { return FVolumeNumber; }
  // Sets the number and kind vnkCustom.
  void SetVolumeNumber(int32_t value);

  int32_t LastVolumeNumber() const { return FLastVolumeNumber; }
  void SetLastVolumeNumber(int32_t value) { FLastVolumeNumber = value; }

  TKelVolumeNumberKind VolumeKind() const { return FVolumeKind; }

  // Whether Other names the same volume: by "last", then by "first", then by kind
  // while this number is unknown, else by number.
  bool IsEqualTo(const TKelVolumeNumberInfo& Other) const;

 private:
  TKelVolumeNumberKind FVolumeKind = vnkUnknown;
  int32_t FVolumeNumber = -1;
  int32_t FLastVolumeNumber = -1;
};

// The smallest custom volume size; smaller values are raised to it.
inline constexpr int64_t KelMinCustomVolumeSize = 65536;

class TKelSpanningOptions : public TPersistent {
 public:
  TKelSpanningOptions() = default;

  // From another TKelSpanningOptions copies all five options; anything else
  // raises EConvertError (TPersistent).
  void Assign(const TPersistent& source) override;
  const char* ClassName() const override { return "TKelSpanningOptions"; }

  bool AdvancedNaming() const { return FAdvancedNaming; }
  void SetAdvancedNaming(bool value) { FAdvancedNaming = value; }
  // Limit of volume 0 when greater than 0.
  int64_t FirstVolumeSize() const { return FFirstVolumeSize; }
  void SetFirstVolumeSize(int64_t value) { FFirstVolumeSize = value; }
  TKelVolumeSize VolumeSize() const { return FVolumeSize; }
  void SetVolumeSize(TKelVolumeSize value) { FVolumeSize = value; }
  // Limit with vsCustom. A value below 65,536 is stored as 65,536; the default
  // stays 0 until set.
  int64_t CustomVolumeSize() const { return FCustomVolumeSize; }
  void SetCustomVolumeSize(int64_t value);
  bool SaveDirToFirstVolume() const { return FSaveDirToFirstVolume; }
  void SetSaveDirToFirstVolume(bool value) { FSaveDirToFirstVolume = value; }

  // Size limit in bytes of the volume Info describes; -1 means no limit (the free
  // space of the disk decides).
  int64_t GetVolumeSize(const TKelVolumeNumberInfo& Info) const;

 private:
  bool FAdvancedNaming = false;
  int64_t FFirstVolumeSize = 0;
  TKelVolumeSize FVolumeSize = vsAutoDetect;
  int64_t FCustomVolumeSize = 0;
  bool FSaveDirToFirstVolume = false;
};

}  // namespace kelvane
