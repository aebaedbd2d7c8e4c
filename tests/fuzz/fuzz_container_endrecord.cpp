// Any bytes as the tail of an archive: the end record search takes exactly
// the record a plain scan of every position would rank first (the best fit,
// then the nearest to the end), reads it and its comment as they stand, and
// puts the stream back; a directory read after it says why it was rebuilt
// whenever it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "FuzzHost.h"
#include "container/KelDirManager.h"
#include "container/KelExcept.h"

using namespace kelvane;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The position a scan of every candidate ranks first; -1 when none is valid.
int64_t ReferenceChoice(TKelDirManager& dm, const uint8_t* bytes, int64_t size) {
  const int64_t from = std::max<int64_t>(0, size - TKelDirManager::EndRecordSearchWindow);
  int64_t best = -1;
  int bestFit = -1;
  for (int64_t p = size - 4; p >= from; --p) {
    if (std::memcmp(bytes + p, "PK\x05\x06", 4) != 0 || !dm.IsValidEndRecord(p)) continue;
    TKelZipCentralDirEnd record;
    record.Read(std::span<const uint8_t>(bytes + p, static_cast<size_t>(size - p)));
    const int fit = dm.EndRecordFit(p, record);
    if (fit > bestFit) {
      bestFit = fit;
      best = p;
    }
  }
  return best;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool corrupted = data[0] & 1;
  const uint8_t* bytes = data + 1;
  const auto length = static_cast<int64_t>(size - 1);
  TMemoryStream stream;
  stream.WriteBuffer(bytes, length);
  const int64_t start = length / 2;
  stream.SetPosition(start);
  TFuzzHost host(&stream, corrupted);
  TKelDirManager dm(&stream, false, &host);

  TKelZipCentralDirEnd record;
  int64_t position = -2;
  const bool found = dm.FindEndRecord(record, position, KelCentralDirEndSig);
  Check(stream.Position() == start);
  Check(position == ReferenceChoice(dm, bytes, length));
  Check(found == (position >= 0));
  if (found) {
    const int64_t q = position + static_cast<int64_t>(TKelZipCentralDirEnd::Size);
    Check(q <= length && std::memcmp(bytes + position, "PK\x05\x06", 4) == 0);
    TKelZipCentralDirEnd stored;
    stored.Read(std::span<const uint8_t>(bytes + position, TKelZipCentralDirEnd::Size));
    Check(stored.diskNumber == record.diskNumber &&
          stored.startDiskNumber == record.startDiskNumber &&
          stored.entriesOnDisk == record.entriesOnDisk &&
          stored.entriesCentralDir == record.entriesCentralDir &&
          stored.centralDirSize == record.centralDirSize &&
          stored.offsetStartDir == record.offsetStartDir &&
          stored.commentLength == record.commentLength);
    Check(q + record.commentLength <= length);
    Check(dm.ArchiveComment ==
          std::string(reinterpret_cast<const char*>(bytes + q), record.commentLength));
  } else {
    Check(dm.ArchiveComment.empty() && record.entriesCentralDir == 0 && record.signature == 0);
  }

  try {
    dm.LoadDir();
    if (!found) Check(dm.Recovery.Cause == rcNoEndRecord);
    // A directory that cannot be read is rebuilt only when that is allowed.
    if (!corrupted) Check(dm.Recovery.Cause != rcUnreadableDirectory);
    Check(dm.Recovery.Rebuilt() || found);
    Check(dm.Recovery.Rebuilt() == (dm.Recovery.Cause != rcNone));
  } catch (const EKelException&) {
  } catch (const EStreamError&) {
  }
  return 0;
}
