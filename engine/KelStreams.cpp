// Extraction into a caller's stream, a memory buffer or a string, and finding
// the item they name.
#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "platform/CodePage.h"

namespace kelvane {
namespace {

constexpr int NativeFileNotFound = 15;
constexpr int NativeUpdateNotEnded = 26;

// Recurse off while a stream operation runs, restored on every path: a name
// then selects in its own folder only.
class TRecurseOff {
 public:
  explicit TRecurseOff(TKelOptions& options) : FOptions(options), FSaved(options.Recurse()) {
    options.SetRecurse(false);
  }
  ~TRecurseOff() { FOptions.SetRecurse(FSaved); }
  TRecurseOff(const TRecurseOff&) = delete;
  TRecurseOff& operator=(const TRecurseOff&) = delete;

 private:
  TKelOptions& FOptions;
  bool FSaved;
};

}  // namespace

int32_t TKelBaseArchiver::ItemByName(const UString& FileName) {
  CheckActive();
  int32_t index = -1;
  if (DMHandle->CDir.FileExists(FileName, index)) return index;
  TKelArchiveItem found;
  if (FindFirst(FileName, found, KelAllItemsAttr, u"")) return found.Handle.ItemNo;
  throw EKelException(NativeFileNotFound, {FileName}, this);
}

void TKelBaseArchiver::ExtractToStream(const UString& FileName, TStream& Stream) {
  CheckActive();
  if (InUpdate()) throw EKelException(NativeUpdateNotEnded, this);
  FProgressEnabled = true;
  FProcessedFileNo = 0;
  // A cancel left from an earlier operation would stop this one unseen.
  FProgressCancel = false;
  TRecurseOff recurseOff(*FOptions);
  DoOverallProgress(0, poExtract, ppStart, FProgressCancel);
  const int32_t index = ItemByName(FileName);
  FProcessedFileCount = 1;
  TDirItem& item = DMHandle->CDir.GetItemPtr(index);
  // The decoder's reports name the item's operation.
  item.Operation = poExtract;
  const UString name = item.Name;
  ExtractItemToStream(index, Stream, 0, 0);
  DoFileProgress(name, 100, poExtract, ppEnd, FProgressCancel);
  DoOverallProgress(100, poExtract, ppEnd, FProgressCancel);
}

void TKelBaseArchiver::ExtractToBuffer(const UString& FileName, void* Buffer, int32_t Count,
                                       int64_t StartPosition) {
  CheckActive();
  if (InUpdate()) throw EKelException(NativeUpdateNotEnded, this);
  FProgressEnabled = false;
  FProcessedFileNo = 0;
  FProgressCancel = false;
  TRecurseOff recurseOff(*FOptions);
  const int32_t index = ItemByName(FileName);
  if (Count < 0 || StartPosition < 0)
    throw EReadError("A negative count or start position cannot be read");
  if (Count == 0) {
    // Nothing to hand back; the item is still decoded and verified, without
    // holding its data.
    TNullStream sink;
    ExtractItemToStream(index, sink, 0, StartPosition);
    return;
  }
  // Only the wanted bytes reach this stream, so it holds at most Count.
  THackMemoryStream data;
  ExtractItemToStream(index, data, Count, StartPosition);
  data.SetPosition(0);
  data.ReadBuffer(Buffer, Count);
}

void TKelBaseArchiver::ExtractToString(const UString& FileName, UString& Text) {
  CheckActive();
  if (InUpdate()) throw EKelException(NativeUpdateNotEnded, this);
  FProgressEnabled = false;
  FProcessedFileNo = 0;
  FProgressCancel = false;
  TRecurseOff recurseOff(*FOptions);
  const int32_t index = ItemByName(FileName);
  TStringStream data;
  ExtractItemToStream(index, data, 0, 0);
  Text = AnsiToUnicode(data.DataString());
}

}  // namespace kelvane
