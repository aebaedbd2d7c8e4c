// Any directory that reads is written back in place and read again: the
// second reading must succeed and give the same items (names, sizes, checksums,
// places, times, attributes, comments). Left out of the comparison: an end
// record that names a later volume than the first (a single stream cannot be
// that volume; the writer stores it as the only one, after which the stub
// search applies), bytes in front of the archive, whose measure is a guess over
// forged headers, and, when the first byte asks for a scan of the local
// headers, a rebuilt directory: the scan takes fewer headers for items than
// the checks of a written directory count, so reading it again may refuse it,
// which must then be an engine error and nothing worse.
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

#include "FuzzHost.h"
#include "container/KelDirManager.h"
#include "container/KelExcept.h"

using namespace kelvane;

namespace {

using TItemView = std::tuple<UString, uint32_t, uint64_t, uint64_t, uint64_t, uint16_t, uint16_t,
                             uint16_t, uint32_t, AnsiString>;

std::vector<TItemView> ItemsOf(TKelDirManager& dm) {
  std::vector<TItemView> items;
  for (int32_t i = 0; i < dm.CDir.Count(); ++i) {
    const TDirItem& it = dm.CDir.GetItemPtr(i);
    const auto& cd = it.CentralDir;
    items.emplace_back(UString(it.Name.Str()), cd.crc32, it.CompressedSize(), it.UncompressedSize(),
                       it.LocalHeaderOffset(), cd.compMethod, cd.lastModTime, cd.lastModDate,
                       cd.externalAttr, it.Comment());
  }
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool corrupted = data[0] & 1;
  TMemoryStream stream;
  stream.WriteBuffer(data + 1, static_cast<int64_t>(size - 1));
  stream.SetPosition(0);
  std::vector<TItemView> before;
  bool comparable = false;
  try {
    TFuzzHost host(&stream, corrupted);
    TKelDirManager dm(&stream, false, &host);
    if (!dm.HasCentralDirEnd()) return 0;
    dm.LoadDir();
    before = ItemsOf(dm);
    comparable = !dm.Recovery.Rebuilt() && dm.CentralDirEnd.diskNumber == 0 && dm.StubSize == 0;
    dm.SaveDir(true);
  } catch (const EKelException&) {
    return 0;
  } catch (const EStreamError&) {
    return 0;
  } catch (const Exception&) {
    return 0;  // a name or extra area too long for its field: nothing written
  }
  stream.SetPosition(0);
  TFuzzHost host(&stream, corrupted);
  TKelDirManager dm(&stream, false, &host);
  if (!dm.HasCentralDirEnd()) __builtin_trap();
  try {
    dm.LoadDir();
  } catch (const EKelException&) {
    if (comparable) throw;
    return 0;
  }
  if (comparable && ItemsOf(dm) != before) __builtin_trap();
  return 0;
}
