// What one commit keeps between its steps, and what its roll-back needs.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/KelCommitJournal.h"
#include "engine/KelCompressAhead.h"
#include "engine/KelTypes.h"
#include "platform/Stream.h"

namespace kelvane {

// Changes that leave an item's data as it is: the item is copied, not stored.
inline bool CopiedAsTheyAre(TKelProcessOperation op) {
  return op == poRename || op == poChangeAttr || op == poChangeComment;
}

struct TKelCommitState {
  int32_t Start = 0;         // index of the first item rewritten
  TKelCommitJournal Saved;   // the archive's size, the cut and the saved bytes
  int64_t OldDirOffset = 0;  // where the old items' data ended
  std::unique_ptr<TFileStream> TailFile;
  bool Journaled = false;         // a journal beside the archive names the tail file
  bool Cut = false;               // the archive was cut: a roll-back must restore it
  bool DirWritten = false;        // the new directory stands: no roll-back any more
  TKelAction Result = fxaIgnore;  // of the item in work: retry, go on, abort
  // Old entries (at Start and after) by name, in directory order, each taken
  // once, so that items of the same name each find their own data.
  std::unordered_map<UString, std::vector<int32_t>> OldByName;
  // Local header offsets of the old entries, ascending: an entry's bytes run to
  // the next one (its data descriptor and any gap included).
  std::vector<uint64_t> OldOffsets;
  // Files deflated ahead on the other cores, and the one taken for the item
  // being stored.
  std::unique_ptr<TKelCompressAhead> Ahead;
  std::unique_ptr<TAheadItem> AheadItem;
};

}  // namespace kelvane
