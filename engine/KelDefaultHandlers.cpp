// What the component does when a question has no handler: confirmation boxes
// and the password dialog of the current dialog provider, and the volume
// requests, whose names follow the volume naming rule.
#include <algorithm>

#include "engine/Kelvane.h"
#include "engine/PasswordInputQuery.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace kelvane {
namespace {

constexpr int NativeVolumeRequestCancelled = 45;
constexpr int NativeFileNameTooLong = 61;
constexpr int NativeDiskFull = 65;

// The volume layer refuses a disk with this much free space or less.
constexpr int64_t MinVolumeFreeSpace = 65536;

constexpr char16_t OverwriteQuestion[] = u"Overwrite file \"%s\" with \"%s\"";
constexpr char16_t PasswordCaption[] = u"Password for \"%s\"";
constexpr char16_t PasswordPrompt[] = u"Enter password: ";
constexpr char16_t FileFailureQuestion[] = u"%s. File processing error, possibly disk is full";
constexpr char16_t BlankDiskRequest[] = u"Please insert a blank disk #%d";
constexpr char16_t FirstDiskRequest[] = u"Please insert the first disk";
constexpr char16_t LastDiskRequest[] = u"Please insert the last disk";
constexpr char16_t LastDiskMissing[] =
    u"File '%s' not found on inserted disk. Please insert last disk with required file";
constexpr char16_t MiddleDiskRequest[] = u"Please insert disk #%d";
constexpr char16_t DiskFullQuestion[] =
    u"Disk is full. Required free space: %d bytes, but available only: %d bytes. Clean the disk "
    u"or find another blank disk";

// Every question is a confirmation box: question icon, title "Confirm".
TModalResult Ask(const UString& text, TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) {
  return MessageDlg(text, mtConfirmation, buttons, defaultButton);
}

// Disk requests go on with OK; anything else cancels.
bool DiskRequestCancelled(const UString& text) {
  return Ask(text, {mbOK, mbCancel}, mbOK) != mrOk;
}

// Handlers and boxes count volumes from 1; 64 bits keep the largest number whole.
int64_t CountedFromOne(int32_t volumeNumber) {
  return int64_t(volumeNumber) + 1;
}

void Wipe(UString& s) {
  std::fill(s.begin(), s.end(), u'\0');
  s.clear();
}

}  // namespace

// ---- Volume requests. The names are worked out here, next to the answers,
// because a request without a handler must look for the naming variant that is
// actually on the inserted disk.

void TKelBaseArchiver::DoRequestBlankVolume(int32_t VolumeNumber, UString& VolumeFileName,
                                            bool& Cancel) {
  if (VolumeNumber < 0) VolumeNumber = 0;
  MakeVolumeFileName(VolumeFileName, VolumeNumber, false);
  Cancel = false;
  if (FOnRequestBlankVolume)
    FOnRequestBlankVolume(this, int32_t(CountedFromOne(VolumeNumber)), VolumeFileName, Cancel);
  else
    DefaultRequestBlankVolume(VolumeNumber, VolumeFileName, Cancel);
}

void TKelBaseArchiver::DoRequestFirstVolume(UString& VolumeFileName, bool& Cancel) {
  Cancel = false;
  if (FOnRequestFirstVolume) {
    MakeVolumeFileName(VolumeFileName, 0, false);
    FOnRequestFirstVolume(this, VolumeFileName, Cancel);
  } else {
    DefaultRequestFirstVolume(VolumeFileName, Cancel);
  }
}

void TKelBaseArchiver::DoRequestLastVolume(UString& VolumeFileName, bool& Cancel) {
  MakeVolumeFileName(VolumeFileName, -1, true);
  Cancel = false;
  if (FOnRequestLastVolume)
    FOnRequestLastVolume(this, VolumeFileName, Cancel);
  else
    DefaultRequestLastVolume(VolumeFileName, Cancel);
}

void TKelBaseArchiver::DoRequestMiddleVolume(int32_t VolumeNumber, UString& VolumeFileName,
                                             bool& Cancel) {
  Cancel = false;
  if (FOnRequestMiddleVolume) {
    MakeVolumeFileName(VolumeFileName, VolumeNumber, false);
    FOnRequestMiddleVolume(this, int32_t(CountedFromOne(VolumeNumber)), VolumeFileName, Cancel);
  } else {
    DefaultRequestMiddleVolume(VolumeNumber, VolumeFileName, Cancel);
  }
}

// ---- Answers without a handler

void TKelBaseArchiver::DefaultConfirmOverwrite(const UString& SourceFileName, UString& DestFileName,
                                               bool& Confirm) {
  Confirm = false;
  switch (Ask(Format(OverwriteQuestion, {DestFileName, SourceFileName}),
              {mbYes, mbNo, mbNoToAll, mbYesToAll}, mbYes)) {
    case mrYes:
      Confirm = true;
      break;
    case mrNoToAll:
      FOptions->SetOverwriteMode(omNever);
      break;
    case mrYesToAll:
      Confirm = true;
      FOptions->SetOverwriteMode(omAlways);
      break;
    default:
      break;
  }
}

void TKelBaseArchiver::DefaultPassword(const UString& FileName, AnsiString& NewPassword,
                                       bool& SkipFile) {
  // The dialog starts empty even when a password is set: it was just found wrong.
  UString typed;
  const bool confirmed =
      PasswordInputQuery(Format(PasswordCaption, {FileName}), PasswordPrompt, typed);
  SkipFile = !confirmed;
  if (confirmed) NewPassword = UnicodeToAnsi(typed);
  Wipe(typed);
}

void TKelBaseArchiver::DefaultProcessFileFailure(const UString&, TKelProcessOperation,
                                                 int32_t NativeError, int32_t,
                                                 const UString& ErrorMessage, TKelAction& Action) {
  // A cancelled volume request was the user's own answer: no second question.
  if (NativeError == NativeVolumeRequestCancelled) {
    Action = fxaAbort;
    return;
  }
  // Trying a name that is too long again cannot help, so there is no Retry.
  const TModalResult answer =
      NativeError == NativeFileNameTooLong
          ? Ask(ErrorMessage, {mbAbort, mbIgnore}, mbIgnore)
          : Ask(Format(FileFailureQuestion, {ErrorMessage}), {mbAbort, mbRetry, mbIgnore}, mbRetry);
  switch (answer) {
    case mrRetry:
      Action = fxaRetry;
      break;
    case mrIgnore:
      Action = fxaIgnore;
      break;
    default:
      Action = fxaAbort;
      break;
  }
}

void TKelBaseArchiver::DefaultRequestBlankVolume(int32_t VolumeNumber, UString&, bool& Cancel) {
  // Split volumes are files side by side: nothing to insert.
  if (FSpanningMode != smSpanning) return;
  Cancel = DiskRequestCancelled(Format(BlankDiskRequest, {CountedFromOne(VolumeNumber)}));
}

void TKelBaseArchiver::DefaultRequestFirstVolume(UString& VolumeFileName, bool& Cancel) {
  const UString archiveName = VolumeFileName;
  MakeVolumeFileName(VolumeFileName, 0, true);
  if (FSpanningMode == smSpanning) {
    Cancel = DiskRequestCancelled(FirstDiskRequest);
    // The inserted disk decides which naming variant is there.
    VolumeFileName = archiveName;
    MakeVolumeFileName(VolumeFileName, 0, true);
  } else {
    Cancel = !IsFile(VolumeFileName) && FileOpenMode != fmCreate;
  }
}

void TKelBaseArchiver::DefaultRequestLastVolume(UString& VolumeFileName, bool& Cancel) {
  if (FSpanningMode != smSpanning) {
    Cancel = !IsFile(VolumeFileName);
    return;
  }
  UString text = LastDiskRequest;
  for (;;) {
    Cancel = DiskRequestCancelled(text);
    if (Cancel || IsFile(VolumeFileName)) return;
    text = Format(LastDiskMissing, {VolumeFileName});
  }
}

void TKelBaseArchiver::DefaultRequestMiddleVolume(int32_t VolumeNumber, UString& VolumeFileName,
                                                  bool& Cancel) {
  const UString archiveName = VolumeFileName;
  MakeVolumeFileName(VolumeFileName, VolumeNumber, true);
  if (FSpanningMode == smSpanning)
    Cancel = DiskRequestCancelled(Format(MiddleDiskRequest, {CountedFromOne(VolumeNumber)}));
  else if (FSpanningMode == smSplitting)
    Cancel = !IsFile(VolumeFileName);
  VolumeFileName = archiveName;
  MakeVolumeFileName(VolumeFileName, VolumeNumber, true);
}

void TKelBaseArchiver::DefaultDiskFull(int32_t VolumeNumber, const UString& VolumeFileName,
                                       bool& Cancel) {
  if (FSpanningMode != smSpanning) throw EKelException(NativeDiskFull, this);
  TKelVolumeNumberInfo volume;
  volume.SetVolumeNumber(VolumeNumber);
  // A volume without a size limit (-1) still needs more than the minimum the
  // volume layer accepts; that is what the user has to free.
  const int64_t required =
      std::max(FSpanningOptions->GetVolumeSize(volume), MinVolumeFreeSpace + 1);
  const int64_t available = VolumeFreeSpace(VolumeFileName);
  Cancel = DiskRequestCancelled(Format(DiskFullQuestion, {required, available}));
}

}  // namespace kelvane
