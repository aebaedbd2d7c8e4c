// Repairs one archive through the engine, as a command to time:
//   kelvane_repair_bench ARCHIVE OUTPUT
// Exit status 0 when the repair completed.
#include <cstdio>

#include "engine/Kelvane.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ARCHIVE OUTPUT\n", argv[0]);
    return 2;
  }
  try {
    kelvane::TKelvane a(nullptr);
    a.SetFileName(kelvane::FromUtf8(argv[1]));
    a.RepairArchive(kelvane::FromUtf8(argv[2]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
