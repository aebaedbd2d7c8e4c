#include "engine/Kelvane.h"

#include <algorithm>

#include "coding/KelSecure.h"
#include "container/KelDirManager.h"
#include "engine/KelCommitState.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// 6.01, in hundredths: the text is made from integers, so no locale (and no
// floating-point formatting) decides its separator.
constexpr int KelVersionHundredths = 601;

constexpr uint16_t NoZipMethod = 0xFFFF;
constexpr uint16_t MethodStored = 0;
constexpr uint16_t MethodDeflate = 8;

constexpr int NativeBadCompressionMode = 5;
constexpr int NativeNotOpen = 13;
constexpr int NativeBlankInMemoryName = 29;
constexpr int NativeReadOnly = 32;
constexpr int NativeMultiVolumeChange = 52;

// Stored names use "/"; handlers see and give back disk separators.
UString ToDiskSeparators(UString name) {
  std::replace(name.begin(), name.end(), u'/', PathDelim);
  return name;
}

UString ToStoredSeparators(UString name) {
  std::replace(name.begin(), name.end(), PathDelim, u'/');
  return name;
}

}  // namespace

// Plain defaults are the member initialisers; the owned objects are made here.
TKelBaseArchiver::TKelBaseArchiver(TComponent* AOwner) : TComponent(AOwner) {
  FOptions = std::make_unique<TKelOptions>();
  SetCompressionLevel(clFastest);
  FFileMasks = std::make_unique<TStringList>();
  FExclusionMasks = std::make_unique<TStringList>();
  FNoCompressionMasks = std::make_unique<TStringList>();
  FSpanningOptions = std::make_unique<TKelSpanningOptions>();
  FVolumeNumberInfo = std::make_unique<TKelVolumeNumberInfo>();
}

TKelBaseArchiver::~TKelBaseArchiver() {
  CloseArchive();
  FVolumeNumberInfo.reset();
  FOptions.reset();
  FFileMasks.reset();
  FExclusionMasks.reset();
  FNoCompressionMasks.reset();
  FSpanningOptions.reset();
  WipeString(FPassword);
}

// ---- Property accessors

void TKelBaseArchiver::SetCompressionLevel(TKelCompressionLevel value) {
  FCompressionLevel = value;
  switch (value) {
    case clNone:
      FCompressionMode = 0;
      break;
    case clFastest:
      FCompressionMode = 1;
      break;
    case clNormal:
      FCompressionMode = 6;
      break;
    case clMax:
      FCompressionMode = 9;
      break;
  }
  UpdateCompressionMethod();
}

void TKelBaseArchiver::SetCompressionMode(uint8_t value) {
  if (value > 9) throw EKelException(NativeBadCompressionMode, this);
  FCompressionMode = value;
  if (value == 0)
    FCompressionLevel = clNone;
  else if (value <= 3)
    FCompressionLevel = clFastest;
  else if (value <= 6)
    FCompressionLevel = clNormal;
  else
    FCompressionLevel = clMax;
  UpdateCompressionMethod();
}

UString TKelBaseArchiver::CurrentVersion() const {
  const int minor = KelVersionHundredths % 100;
  UString text;
  for (int major = KelVersionHundredths / 100; major > 0 || text.empty(); major /= 10)
    text.insert(text.begin(), static_cast<char16_t>(u'0' + major % 10));
  text += u'.';
  text += static_cast<char16_t>(u'0' + minor / 10);
  text += static_cast<char16_t>(u'0' + minor % 10);
  return text + u" ";
}

void TKelBaseArchiver::SetPassword(const AnsiString& Value) {
  if (&Value == &FPassword) return;  // wiping it would wipe Value
  WipeString(FPassword);             // the old password does not linger in freed memory
  FPassword = Value;
}

void TKelBaseArchiver::SetSpanningMode(TKelSpanningMode value) {
  if (FActive) throw Exception("Cannot set spanning mode on open archive");
  FSpanningMode = value;
}

void TKelBaseArchiver::SetInMemory(bool value) {
  if (value == FInMemory) return;
  if (!FActive) {
    FInMemory = value;
    return;
  }
  if (value) {
    CloseArchive();
    FInMemory = true;
    OpenArchive();
    return;
  }
  if (FFileName.empty()) throw EKelException(NativeBlankInMemoryName, this);
  {
    // The archive is closed only after the file holds all of it.
    TFileStream file(FFileName, fmCreate);
    if (FCompressedStream) file.CopyFrom(*FCompressedStream, 0);
  }
  CloseArchive();
  FInMemory = false;
  OpenArchive();
}

void TKelBaseArchiver::CheckActive() const {
  if (!FActive) throw EKelException(NativeNotOpen, this);
}

int64_t TKelBaseArchiver::Size() const {
  CheckActive();
  if (!FCompressedStream) throw EKelException(NativeNotOpen, this);
  return FCompressedStream->Size();
}

bool TKelBaseArchiver::Exists() const {
  return !FFileName.empty() && IsFile(FFileName);
}

void TKelBaseArchiver::SetActive(bool value) {
  if (value == FActive) return;
  if (value)
    OpenArchive();
  else
    CloseArchive();
}

AnsiString TKelBaseArchiver::Comment() const {
  return FActive && DMHandle ? DMHandle->ArchiveComment : AnsiString();
}

void TKelBaseArchiver::SetComment(const AnsiString& value) {
  CheckActive();
  if (FSpanningMode != smNone && DMHandle->CDir.Count() > 0 && !InUpdate())
    throw EKelException(NativeMultiVolumeChange, this);
  if (!ArchiveWritable()) throw EKelException(NativeReadOnly, this);
  const AnsiString previous = DMHandle->ArchiveComment;
  DMHandle->ArchiveComment = value;
  if (InUpdate() || FSpanningMode != smNone) return;  // written with the commit
  try {
    DMHandle->SaveDir(false);
  } catch (...) {
    DMHandle->ArchiveComment = previous;
    throw;
  }
}

// ---- Overridable operations

void TKelBaseArchiver::UpdateCompressionMethod() {
  FCompressionMethod = NoZipMethod;
}

void TKelBaseArchiver::DoOverallProgress(double Progress, TKelProcessOperation Operation,
                                         TKelProgressPhase ProgressPhase, bool& Cancel) {
  if (FOnOverallProgress)
    FOnOverallProgress(this, Progress, Operation, ProgressPhase, Cancel);
  else
    Cancel = false;
}

void TKelBaseArchiver::DoFileProgress(const UString& FileName, double Progress,
                                      TKelProcessOperation Operation,
                                      TKelProgressPhase ProgressPhase, bool& Cancel) {
  if (FOnFileProgress)
    FOnFileProgress(this, ToDiskSeparators(FileName), Progress, Operation, ProgressPhase, Cancel);
  else
    Cancel = false;
}

void TKelBaseArchiver::DoCopyTempFileProgress(double Progress, TKelProgressPhase ProgressPhase,
                                              bool& Cancel) {
  Cancel = false;
  if (FOnCopyTempFileProgress) FOnCopyTempFileProgress(this, Progress, ProgressPhase, Cancel);
}

void TKelBaseArchiver::DoConfirmOverwrite(const UString& SourceFileName, UString& DestFileName,
                                          bool& Confirm) {
  if (FOnConfirmOverwrite)
    FOnConfirmOverwrite(this, SourceFileName, DestFileName, Confirm);
  else
    DefaultConfirmOverwrite(SourceFileName, DestFileName, Confirm);
}

void TKelBaseArchiver::DoConfirmProcessFile(const UString& FileName, TKelProcessOperation Operation,
                                            bool& Confirm) {
  Confirm = true;
  if (FOnConfirmProcessFile) FOnConfirmProcessFile(this, FileName, Operation, Confirm);
}

void TKelBaseArchiver::DoPassword(const UString& FileName, AnsiString& NewPassword,
                                  bool& SkipFile) {
  if (FOnPassword)
    FOnPassword(this, FileName, NewPassword, SkipFile);
  else
    DefaultPassword(FileName, NewPassword, SkipFile);
}

void TKelBaseArchiver::DoProcessFileFailure(const UString& FileName, TKelProcessOperation Operation,
                                            int32_t NativeError, int32_t ErrorCode,
                                            const UString& ErrorMessage, TKelAction& Action) {
  Action = fxaIgnore;
  if (FOnProcessFileFailure)
    FOnProcessFileFailure(this, FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
  else
    DefaultProcessFileFailure(FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
}

// The volume requests: engine/KelDefaultHandlers.cpp (their names and their
// answers without a handler go together).

void TKelBaseArchiver::DoDiskFull(int32_t VolumeNumber, const UString& VolumeFileName,
                                  bool& Cancel) {
  Cancel = false;
  if (FOnDiskFull)
    FOnDiskFull(this, VolumeNumber + 1, VolumeFileName, Cancel);
  else
    DefaultDiskFull(VolumeNumber, VolumeFileName, Cancel);
}

void TKelBaseArchiver::DoProcessVolumeFailure(TKelProcessOperation Operation, int32_t VolumeNumber,
                                              const UString& VolumeFileName, bool& Cancel) {
  if (FOnProcessVolumeFailure)
    FOnProcessVolumeFailure(this, Operation, VolumeNumber, VolumeFileName, Cancel);
}

void TKelBaseArchiver::DoStoreFile(UString& FileName, int32_t& FileAttr, AnsiString& Comment,
                                   const UString& OriginalFileName) {
  if (!FOnStoreFile) return;
  FileName = ToDiskSeparators(std::move(FileName));
  FOnStoreFile(this, FileName, FileAttr, Comment, OriginalFileName);
  FileName = ToStoredSeparators(std::move(FileName));
}

void TKelBaseArchiver::DoExtractFile(UString& FileName, uint32_t& FileAttr,
                                     const AnsiString& Comment) {
  FileName = ToDiskSeparators(std::move(FileName));
  if (FOnExtractFile) FOnExtractFile(this, FileName, FileAttr, Comment);
}

void TKelBaseArchiver::DoAfterOpen() {
  if (FAfterOpen) FAfterOpen(this);
}

// The answers without a handler (Default...): engine/KelDefaultHandlers.cpp.

// ---- TKelvane

TKelvane::TKelvane(TComponent* AOwner) : TKelBaseArchiver(AOwner) {
  isZIPFormat = true;
  FZip64Mode = zmDisabled;
  // The base constructor set the level before this class's method choice was
  // reachable (no virtual dispatch into a class under construction).
  UpdateCompressionMethod();
}

void TKelvane::SetPassword(const AnsiString& Value) {
  // Value may be the password itself (a caller passing Password() back).
  if (&Value == &FPassword) return;
  WipeString(FPassword);
  FPassword = Value;
}

void TKelvane::UpdateCompressionMethod() {
  FCompressionMethod = FCompressionMode != 0 ? MethodDeflate : MethodStored;
}

}  // namespace kelvane
