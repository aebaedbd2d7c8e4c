// The self-extractor's archiver: a TKelvane that keeps count of the items an
// extraction or a test did not finish, so the program can say so and end with
// the right exit status. It asks nothing itself: every question still goes to
// the assigned event or the engine's default.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "engine/Kelvane.h"

namespace kelvane {

enum TItemOutcome : uint8_t {
  ioKept,     // the destination existed and was not replaced
  ioSkipped,  // no valid password was given
  ioFailed,   // processing failed and the failure was ignored or ended the run
};

// What did not go through in one run; empty when everything did.
class TRunTally {
 public:
  void Clear();
  // Notes Name with its first outcome; later outcomes of the same name are ignored.
  void Note(const UString& name, TItemOutcome outcome, const UString& message = {});
  void SetAborted() { FAborted = true; }

  bool Aborted() const { return FAborted; }
  bool Complete() const { return !FAborted && FItems.empty(); }
  size_t Count(TItemOutcome outcome) const;
  // The outcome noted for Name (either separator), if any.
  std::optional<TItemOutcome> Find(const UString& name) const;
  // The message of the first failure noted, if any.
  const UString& FirstFailure() const { return FFirstFailure; }
  // One line for a person: "2 items were not extracted (1 kept, 1 failed: ...)",
  // "the extraction was aborted", ...; empty when complete. Verb: "extracted"
  // or "tested".
  std::string Summary(const char* verb) const;

 private:
  struct TEntry {
    TItemOutcome Outcome;
  };
  std::map<UString, TEntry> FItems;
  UString FFirstFailure;
  bool FAborted = false;
};

class TSFXArchiver : public TKelvane {
 public:
  explicit TSFXArchiver(TComponent* AOwner) : TKelvane(AOwner) {}
  const char* ClassName() const override { return "TSFXArchiver"; }

  TRunTally& Tally() { return FTally; }
  const TRunTally& Tally() const { return FTally; }

  // The zone mark (ZoneMark.h) every file extracted from now on is given;
  // nothing: files get none. A file system that cannot hold it leaves the
  // file unmarked, as the system's own extraction does.
  void SetZoneMark(std::optional<std::string> mark) { FZoneMark = std::move(mark); }
  const std::optional<std::string>& ZoneMark() const { return FZoneMark; }

 protected:
  void DoConfirmOverwrite(const UString& SourceFileName, UString& DestFileName,
                          bool& Confirm) override;
  void DoPassword(const UString& FileName, AnsiString& NewPassword, bool& SkipFile) override;
  void DoExtractFile(UString& FileName, uint32_t& FileAttr, const AnsiString& Comment) override;
  void DoFileProgress(const UString& FileName, double Progress, TKelProcessOperation Operation,
                      TKelProgressPhase ProgressPhase, bool& Cancel) override;
  void DoProcessFileFailure(const UString& FileName, TKelProcessOperation Operation,
                            int32_t NativeError, int32_t ErrorCode, const UString& ErrorMessage,
                            TKelAction& Action) override;

 private:
  TRunTally FTally;
  std::optional<std::string> FZoneMark;
  // The item being extracted: its name below the destination as the handlers
  // left it, the path the overwrite question gave, and whether it was written.
  UString FExtracting;
  UString FExtractingPath;
  bool FNotWritten = false;
};

}  // namespace kelvane
