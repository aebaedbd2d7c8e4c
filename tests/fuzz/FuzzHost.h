// The archiver as a directory manager sees it, for fuzz targets: one stream,
// no volumes, OpenCorruptedArchives as the input asks.
#pragma once

#include "container/KelArchiveHost.h"

namespace kelvane {

class TFuzzHost : public TKelArchiveHost {
 public:
  TFuzzHost(TStream* stream, bool corrupted) : FStream(stream), FCorrupted(corrupted) {}
  const TComponent* ArchiverComponent() const override { return nullptr; }
  bool OEMFileNames() const override { return true; }
  bool OpenCorruptedArchives() const override { return FCorrupted; }
  TKelSpanningMode SpanningMode() const override { return smNone; }
  const TKelSpanningOptions& SpanningOptions() const override { return FOptions; }
  TKelVolumeNumberInfo& CurrentVolumeInfo() override { return FVolume; }
  const UString& SFXStub() const override { return FStub; }
  TStream* ArchiveStream() override { return FStream; }
  void OpenVolume(const TKelVolumeNumberInfo&) override {}
  void WriteToVolumesChecked(const void* Data, int32_t Count, TMemoryStream*, int32_t,
                             TKelVolumeNumberInfo&, TStream*& Target) override {
    Target->WriteBuffer(Data, Count);
  }
  void RenameLastVolume() override {}

 private:
  TStream* FStream;
  bool FCorrupted;
  TKelSpanningOptions FOptions;
  TKelVolumeNumberInfo FVolume;
  UString FStub;
};

}  // namespace kelvane
