#include "cli/CliArchiver.h"

#include <algorithm>

#include "cli/DiskFile.h"
#include "container/KelDirManager.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

constexpr int NativeInvalidPassword = 67;

}  // namespace

void TCliArchiver::OpenForReading(const std::string& path) {
  SetFileName(FromUtf8(path));
  OpenArchive(fmOpenRead | fmShareDenyNone);
}

int32_t TCliArchiver::ItemCount() const {
  CheckActive();
  return DMHandle->CDir.Count();
}

const TDirItem& TCliArchiver::Item(int32_t index) const {
  CheckActive();
  return DMHandle->CDir.GetItemPtr(index);
}

bool TCliArchiver::Zip64() const {
  CheckActive();
  return DMHandle->Zip64();
}

int64_t TCliArchiver::StubSize() const {
  CheckActive();
  return DMHandle->StubSize;
}

int64_t TCliArchiver::VolumeCount() const {
  CheckActive();
  const uint16_t disk = DMHandle->CentralDirEnd.diskNumber;
  if (disk == 0xFFFF && DMHandle->Zip64())
    return std::max<int64_t>(1, DMHandle->Zip64CentralDirEndLocator.totalNumberOfDisks);
  return int64_t(disk) + 1;
}

std::vector<TVolumeFile> TCliArchiver::VolumeFiles() {
  std::vector<TVolumeFile> files;
  const int64_t count = VolumeCount();
  for (int64_t n = 0; n < count; ++n) {
    UString name = FileName();
    MakeVolumeFileName(name, n + 1 == count ? -1 : int32_t(n), true);
    TVolumeFile file;
    file.Path = ToUtf8(name);
    file.Size = DiskFileSize(name);
    files.push_back(std::move(file));
  }
  return files;
}

int32_t TCliArchiver::ModifiedItems() const {
  CheckActive();
  int32_t count = 0;
  for (int32_t i = 0; i < DMHandle->CDir.Count(); ++i)
    count += DMHandle->CDir.GetItemPtr(i).Modified ? 1 : 0;
  return count;
}

uint64_t TCliArchiver::PendingBytes() const {
  CheckActive();
  uint64_t total = 0;
  for (int32_t i = 0; i < DMHandle->CDir.Count(); ++i) {
    const TDirItem& item = DMHandle->CDir.GetItemPtr(i);
    const bool storedAnew =
        item.Operation == poAdd || item.Operation == poUpdate || item.Operation == poMove;
    if (item.Modified && storedAnew && !item.IsDirectory()) total += item.UncompressedSize();
  }
  return total;
}

uint64_t TCliArchiver::ItemSize(const UString& name) const {
  CheckActive();
  UString stored = name;
  std::replace(stored.begin(), stored.end(), PathDelim, u'/');
  int32_t index = -1;
  if (!DMHandle->CDir.FileExists(stored, index) || index < 0) return 0;
  return DMHandle->CDir.GetItemPtr(index).UncompressedSize();
}

const TDirItem* TCliArchiver::SmallestEncryptedItem() const {
  CheckActive();
  const TDirItem* best = nullptr;
  for (int32_t i = 0; i < DMHandle->CDir.Count(); ++i) {
    const TDirItem& item = DMHandle->CDir.GetItemPtr(i);
    if (!(item.CentralDir.genPurposeFlag & 1) || item.IsDirectory()) continue;
    if (!best || item.CompressedSize() < best->CompressedSize()) best = &item;
  }
  return best;
}

void TCliArchiver::Select(const std::vector<std::string>& masks,
                          const std::vector<std::string>& exclusions) {
  // The engine matches item names in disk form (PathDelim); masks are written
  // with "/" as stored names are.
  const auto diskForm = [](const std::string& mask) {
    UString text = FromUtf8(mask);
    std::replace(text.begin(), text.end(), u'/', PathDelim);
    return text;
  };
  FileMasks().Clear();
  ExclusionMasks().Clear();
  for (const std::string& m : masks)
    FileMasks().Add(diskForm(m));
  if (masks.empty()) FileMasks().Add(u"*.*");
  for (const std::string& m : exclusions)
    ExclusionMasks().Add(diskForm(m));
  Options().SetSearchAttr(KelAllItemsAttr);
}

std::vector<int32_t> TCliArchiver::SelectedItems() {
  TagItems();
  std::vector<int32_t> selected;
  for (int32_t i = 0; i < ItemCount(); ++i)
    if (Item(i).Tagged) selected.push_back(i);
  return selected;
}

void TCliArchiver::DoPassword(const UString& FileName, AnsiString& NewPassword, bool& SkipFile) {
  if (!FCanAskPassword) throw EKelException(NativeInvalidPassword, this);
  if (FBeforeQuestion) FBeforeQuestion();
  TKelvane::DoPassword(FileName, NewPassword, SkipFile);
  if (SkipFile) throw EKelException(NativeInvalidPassword, this);
}

void TCliArchiver::DoConfirmOverwrite(const UString& SourceFileName, UString& DestFileName,
                                      bool& Confirm) {
  if (FBeforeQuestion) FBeforeQuestion();
  TKelvane::DoConfirmOverwrite(SourceFileName, DestFileName, Confirm);
}

TCliArchiver& ArchiverUntilExit() {
  // Reachable through this pointer to the end, so it is not a leak.
  static TCliArchiver* const archiver = new TCliArchiver();
  return *archiver;
}

std::string DisplayText(UStringView text) {
  UString shown(text);
  for (char16_t& c : shown)
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) c = u'?';
  return ToUtf8(shown);
}

}  // namespace kelvane::cli
