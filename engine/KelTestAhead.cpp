// Testing on every core: the larger items of a one-file archive are verified
// on other threads while this one reports the items before them. An item
// found sound there passes here without decoding it again; every other item
// (damaged, encrypted, small, or not known) goes through the archiver's own
// check, which reports it as before.
#include <algorithm>

#include "container/KelDirManager.h"
#include "engine/KelVerifyAhead.h"
#include "engine/Kelvane.h"

namespace kelvane {
namespace {

// Below this, handing an item to another thread costs more than decoding it
// here.
constexpr uint64_t AheadMinCompressed = 64 * 1024;

bool WorthAhead(const TDirItem& Item) {
  return Item.Tagged && Item.CompressedSize() >= AheadMinCompressed && CanVerifyStoredForm(Item);
}

}  // namespace

std::unique_ptr<TKelVerifyAhead> TKelBaseArchiver::StartTestAhead() {
  auto* archive = dynamic_cast<TFileStream*>(FCompressedStream);
  if (!DMHandle || FSpanningMode != smNone || !archive) return nullptr;
  // One large item alone is inflated here on two cores already.
  const TKelDirArray& items = DMHandle->CDir;
  int32_t worth = 0;
  for (int32_t i = 0; i < items.Count() && worth < 2; ++i)
    if (WorthAhead(items.GetItemPtr(i))) ++worth;
  if (worth < 2) return nullptr;
  auto ahead = std::make_unique<TKelVerifyAhead>(archive->Handle(), DMHandle->CentralDirOffset,
                                                 items.Count());
  if (!ahead->Started()) return nullptr;
  return ahead;
}

bool TKelBaseArchiver::TestedAhead(int32_t Index) {
  if (!FTestAhead) return false;
  FTestAhead->QueueAhead(Index, DMHandle->CDir, WorthAhead);
  if (FTestAhead->Verdict(Index, DMHandle->CDir.GetItemPtr(Index)) != TKelVerdict::Sound)
    return false;
  // A copy: a handler told of progress may change the directory.
  const TDirItem item = DMHandle->CDir.GetItem(Index);
  // Reported in the decoder's steps, so that a handler may still cancel.
  const uint64_t size = item.UncompressedSize();
  FProgressMax = int64_t(std::max<uint64_t>(size, 1));
  uint64_t done = 0;
  do {
    done = std::min<uint64_t>(size, done + DecompressionChunkSize);
    FProgress = int64_t(done);
  } while (ReportDecodeProgress(item) && done < size);
  return true;
}

}  // namespace kelvane
