// Any bytes as an archive: reading the directory (and, when the first byte
// asks for it, the recovery scan) raises the engine's or a stream error or
// yields items, never overruns or allocates without bound. A loaded directory
// is then written back, which must not fail on what the reader accepted.
#include <cstddef>
#include <cstdint>

#include "FuzzHost.h"
#include "container/KelDirManager.h"
#include "container/KelExcept.h"

using namespace kelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool corrupted = data[0] & 1;
  TMemoryStream stream;
  stream.WriteBuffer(data + 1, static_cast<int64_t>(size - 1));
  stream.SetPosition(0);
  TFuzzHost host(&stream, corrupted);
  bool loaded = false;
  try {
    TKelDirManager dm(&stream, false, &host);
    if (dm.HasCentralDirEnd()) {
      dm.LoadDir();
      loaded = true;
      TMemoryStream copy;
      dm.SaveDir(true, &copy);
    }
  } catch (const EKelException&) {
  } catch (const EStreamError&) {
    // A short read of a lying directory surfaces as the stream's own error.
  }
  (void)loaded;
  return 0;
}
