#include "app/SFXArchiver.h"

#include <algorithm>

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
  if (!Confirm) FTally.Note(SourceFileName, ioKept);
}

void TSFXArchiver::DoPassword(const UString& FileName, AnsiString& NewPassword, bool& SkipFile) {
  TKelvane::DoPassword(FileName, NewPassword, SkipFile);
  if (SkipFile) FTally.Note(FileName, ioSkipped);
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
