// The archiver as the command-line tool drives it: what the tool shows of the
// open archive's directory, and how it answers the engine's questions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "container/KelDirItem.h"
#include "engine/Kelvane.h"

namespace kelvane::cli {

struct TVolumeFile {
  std::string Path;
  int64_t Size = -1;  // -1 when the file is missing
};

class TCliArchiver : public TKelvane {
 public:
  TCliArchiver() : TKelvane(nullptr) {}

  // Opens Path read-only, sharing it with everyone; a split set is named by
  // its last volume. Raises the engine's error when it cannot be opened.
  void OpenForReading(const std::string& path);

  // ---- The open archive's directory (an archive must be open).
  int32_t ItemCount() const;
  const TDirItem& Item(int32_t index) const;
  bool Zip64() const;
  int64_t StubSize() const;
  // Number of volumes the end records tell (1 for a one-file archive).
  int64_t VolumeCount() const;
  // The files of a multi-volume archive in order, with their sizes; for a
  // one-file archive the file itself.
  std::vector<TVolumeFile> VolumeFiles();

  // ---- Pending changes (inside an update)
  // Items with a pending change.
  int32_t ModifiedItems() const;
  // Bytes of the items the commit will store anew (new, replaced, moved).
  uint64_t PendingBytes() const;
  // Size of the item Name names (disk separators); 0 when there is none.
  uint64_t ItemSize(const UString& name) const;
  // An encrypted file item of the fewest bytes, to check a password cheaply;
  // nullptr when no item is encrypted.
  const TDirItem* SmallestEncryptedItem() const;

  // Selects the items of the argument-less operations: Masks ("*.*" when
  // empty) minus Exclusions, every attribute.
  void Select(const std::vector<std::string>& masks, const std::vector<std::string>& exclusions);
  // The indexes of the items the selection takes, in order (tagged as the
  // operations tag them).
  std::vector<int32_t> SelectedItems();

  // Whether someone can be asked for a password. When not, or when the
  // question is cancelled, an item whose password does not fit fails with the
  // engine's invalid-password error instead of being skipped in silence.
  void SetCanAskPassword(bool value) { FCanAskPassword = value; }
  // Called before the user is asked anything, so a progress line can make room.
  void SetBeforeQuestion(std::function<void()> hook) { FBeforeQuestion = std::move(hook); }

 protected:
  void DoPassword(const UString& FileName, AnsiString& NewPassword, bool& SkipFile) override;
  void DoConfirmOverwrite(const UString& SourceFileName, UString& DestFileName,
                          bool& Confirm) override;

 private:
  bool FCanAskPassword = false;
  std::function<void()> FBeforeQuestion;
};

// An archiver that lives until the process ends. A command runs once per
// process, and letting the process's end release a large directory at once
// saves as much time as listing it takes; only a read-only archive is ever
// open in it, so nothing is left to write.
TCliArchiver& ArchiverUntilExit();

// Stored name of an item as UTF-8 for a terminal or a log: control characters
// (which could drive the terminal) become "?".
std::string DisplayText(UStringView text);

}  // namespace kelvane::cli
