// The component's volume layer: naming, making a volume current, writing.
#include <string>

#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "names/NameText.h"
#include "names/PathDrive.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

constexpr int NativeVolumeRequestCancelled = 45;

// A volume whose disk has this much free space or less is refused.
constexpr int64_t MinVolumeFreeSpace = 65536;

// Decimal digits of Value, zero-padded to at least Width.
UString ZeroPadded(int64_t value, size_t width) {
  const std::string digits = std::to_string(value);
  UString out(digits.size() < width ? width - digits.size() : 0, u'0');
  for (char c : digits)
    out += static_cast<char16_t>(c);
  return out;
}

// Other tools write and look for split volumes as data.z01, so new volumes are
// named so; older sets may have data.Z01. An existing file whose extension
// differs only in letter case is taken under its own name.
UString ExistingCaseOf(const UString& name) {
  if (IsFile(name)) return name;
  const UString ext = ExtensionPart(name);
  if (ext.empty()) return name;
  const UString stem = name.substr(0, name.size() - ext.size());
  for (const UString& variant : {stem + LowerCaseAscii(ext), stem + UpperCaseAscii(ext)})
    if (variant != name && IsFile(variant)) return variant;
  return name;
}

}  // namespace

bool TKelBaseArchiver::IsExeFileName(const UString& FileName) {
  return LowerCaseAscii(ExtensionPart(FileName)).find(u".exe") != UString::npos;
}

void TKelBaseArchiver::MakeVolumeFileName(UString& Name, int32_t VolumeNumber, bool CheckExists) {
  if (FSpanningMode == smNone) return;
  const bool exe =
      (DMHandle && DMHandle->StubSize != 0) || !FSFXStub.empty() || IsExeFileName(Name);
  // A set being created gets exactly the names of the rule; one being read
  // is found under the letter case its parts have.
  const bool creating = FileOpenMode == fmCreate;
  auto existing = [creating](const UString& name) {
    return creating ? name : ExistingCaseOf(name);
  };
  if (VolumeNumber < 0) {
    if (FSpanningMode == smSplitting && exe) {
      const UString ext = ExtensionPart(Name);
      Name = existing(Name.substr(0, Name.size() - ext.size()) + u".zip");
    }
    return;
  }
  const UString path = DirectoryPart(Name);
  const UString ext = ExtensionPart(Name);
  const UString fileName = FileNamePart(Name);
  const UString base = fileName.substr(0, fileName.size() - ext.size());
  const UString numbered = u"_" + ZeroPadded(int64_t(VolumeNumber) + 1, 3);

  auto named = [&](bool advanced) -> UString {
    if (FSpanningMode == smSpanning) {
      const UString volumeExt = exe ? UString(u".exe") : ext;
      return path + base + (advanced ? numbered : UString()) + volumeExt;
    }
    if (VolumeNumber == 0 && exe) return path + base + u".exe";
    if (advanced) return path + base + numbered + ext;
    return path + base + u".z" + ZeroPadded(int64_t(VolumeNumber) + 1, 2);
  };

  const bool advanced = FSpanningOptions->AdvancedNaming();
  UString result = existing(named(advanced));
  if (CheckExists && FSpanningMode == smSpanning && !IsFile(result)) {
    const UString other = existing(named(!advanced));
    if (IsFile(other)) result = other;
  }
  Name = result;
}

int64_t TKelBaseArchiver::VolumeFreeSpace(const UString& FileName) {
  return DiskFreeSpace(FileName);
}

void TKelBaseArchiver::OpenVolumeFile(const UString& FileName) {
  // The old volume goes first: spanned volumes share one name, and a second
  // opener of the same file would meet our own sharing denial.
  FReadAhead.Drop();
  if (FCompressedStream && !IsCustomStream) delete FCompressedStream;
  FCompressedStream = nullptr;
  FCompressedStream = new TFileStream(FileName, FileOpenMode);
  VolumeFileName = FileName;
}

void TKelBaseArchiver::OpenVolume(const TKelVolumeNumberInfo& Info) {
  // The descriptor takes the volume's number and kind; what it knows of the
  // last volume stays.
  auto takeVolume = [this, &Info] {
    const int32_t last = FVolumeNumberInfo->LastVolumeNumber();
    *FVolumeNumberInfo = Info;
    FVolumeNumberInfo->SetLastVolumeNumber(last);
  };

  if (FSpanningMode == smNone) {
    if (!FCompressedStream) OpenVolumeFile(FFileName);
    takeVolume();
    return;
  }

  if (FileOpenMode == fmCreate) {
    // A spanned disk is taken out next: what it holds must be on it.
    CloseNewVolume(FSpanningMode == smSpanning);
    const int64_t size = FSpanningOptions->GetVolumeSize(Info);
    UString name;
    for (;;) {
      name = FFileName;
      bool cancel = false;
      DoRequestBlankVolume(Info.VolumeNumber(), name, cancel);
      if (cancel) throw EKelException(NativeVolumeRequestCancelled, this);
      // A disk whose free space cannot be learnt is tried; its writes tell.
      const int64_t free = VolumeFreeSpace(name);
      if (free < 0 || (free > MinVolumeFreeSpace &&
                       (size <= 0 || FSpanningMode == smSplitting || free >= size)))
        break;
      DoDiskFull(Info.VolumeNumber(), name, cancel);
      if (cancel) throw EKelException(NativeVolumeRequestCancelled, this);
    }
    CreateVolumeFile(name);
    if (FSpanningMode == smSpanning) {
      // Labels help people sort their disks; a disk that takes none is fine.
      LabelVolume(DrivePart(name), u"pkback# " + ZeroPadded(int64_t(Info.VolumeNumber()) + 1, 3));
    }
    return;
  }

  if (FVolumeNumberInfo->IsEqualTo(Info)) return;
  for (;;) {
    UString name = FFileName;
    bool cancel = false;
    if (Info.FirstVolume())
      DoRequestFirstVolume(name, cancel);
    else if (Info.LastVolume())
      DoRequestLastVolume(name, cancel);
    else
      DoRequestMiddleVolume(Info.VolumeNumber(), name, cancel);
    if (cancel) throw EKelException(NativeVolumeRequestCancelled, this);
    if (name.empty() && FSpanningMode == smSplitting) return;
    if (IsFile(name)) {
      OpenVolumeFile(name);
      takeVolume();
      return;
    }
  }
}

}  // namespace kelvane
