#include "app/SFXArchiver.h"

#include <algorithm>

#include "app/ZoneMark.h"
#include "engine/KelDestPath.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {

void TRunTally::Clear() {
  FItems.clear();
  FFirstFailure.clear();
  FAborted = false;
}

namespace {

// Events see disk separators, the password question the stored ones: one item
// must count once.
UString Key(const UString& name) {
  UString key = name;
  std::replace(key.begin(), key.end(), u'\\', u'/');
  return key;
}

}  // namespace

void TRunTally::Note(const UString& name, TItemOutcome outcome, const UString& message) {
  if (!FItems.emplace(Key(name), TEntry{outcome}).second) return;
  if (outcome == ioFailed && FFirstFailure.empty()) FFirstFailure = message;
}

std::optional<TItemOutcome> TRunTally::Find(const UString& name) const {
  const auto it = FItems.find(Key(name));
  if (it == FItems.end()) return std::nullopt;
  return it->second.Outcome;
}

size_t TRunTally::Count(TItemOutcome outcome) const {
  size_t n = 0;
  for (const auto& [name, entry] : FItems)
    n += entry.Outcome == outcome;
  return n;
}

std::string TRunTally::Summary(const char* verb) const {
  if (Complete()) return {};
  std::string parts;
  const auto add = [&](size_t n, const char* what) {
    if (n == 0) return;
    if (!parts.empty()) parts += ", ";
    parts += std::to_string(n) + " " + what;
  };
  add(Count(ioKept), "kept");
  add(Count(ioSkipped), "skipped for want of a password");
  add(Count(ioFailed), "failed");
  if (!FFirstFailure.empty()) parts += ": " + ToUtf8(FFirstFailure);
  std::string line;
  if (FAborted) line = std::string("the run was aborted");
  if (!FItems.empty()) {
    if (!line.empty()) line += "; ";
    line += std::to_string(FItems.size()) +
            (FItems.size() == 1 ? " item was not " : " items were not ") + verb + " (" + parts +
            ")";
  }
  return line;
}

void TSFXArchiver::DoConfirmOverwrite(const UString& SourceFileName, UString& DestFileName,
                                      bool& Confirm) {
  TKelvane::DoConfirmOverwrite(SourceFileName, DestFileName, Confirm);
  FExtractingPath = DestFileName;
  if (!Confirm) {
    FTally.Note(SourceFileName, ioKept);
    FNotWritten = true;
  }
}

void TSFXArchiver::DoPassword(const UString& FileName, AnsiString& NewPassword, bool& SkipFile) {
  TKelvane::DoPassword(FileName, NewPassword, SkipFile);
  if (SkipFile) {
    FTally.Note(FileName, ioSkipped);
    FNotWritten = true;
  }
}

void TSFXArchiver::DoExtractFile(UString& FileName, uint32_t& FileAttr, const AnsiString& Comment) {
  TKelvane::DoExtractFile(FileName, FileAttr, Comment);
  FExtracting = FileName;
}

void TSFXArchiver::DoFileProgress(const UString& FileName, double Progress,
                                  TKelProcessOperation Operation, TKelProgressPhase ProgressPhase,
                                  bool& Cancel) {
  TKelvane::DoFileProgress(FileName, Progress, Operation, ProgressPhase, Cancel);
  if (Operation != poExtract || !FZoneMark) return;
  if (ProgressPhase == ppStart) {
    FExtracting.clear();
    FExtractingPath.clear();
    FNotWritten = false;
    return;
  }
  if (ProgressPhase != ppEnd || FNotWritten || FExtracting.empty()) return;
  // A kept file is not this archive's: it keeps the mark it has.
  UString path = FExtractingPath;
  if (path.empty())
    path = IsFullDiskPath(FExtracting) ? FExtracting
                                       : BaseDirectory(BaseDir(), CurrentDirectory()) + FExtracting;
  if (IsFile(path)) WriteZoneMark(path, *FZoneMark);
}

void TSFXArchiver::DoProcessFileFailure(const UString& FileName, TKelProcessOperation Operation,
                                        int32_t NativeError, int32_t ErrorCode,
                                        const UString& ErrorMessage, TKelAction& Action) {
  TKelvane::DoProcessFileFailure(FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
  if (Action == fxaRetry) return;
  FTally.Note(FileName, ioFailed, ErrorMessage);
  if (Action == fxaAbort) FTally.SetAborted();
}

}  // namespace kelvane
