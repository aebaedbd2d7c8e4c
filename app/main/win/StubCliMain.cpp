// kelvane-sfx-cli.exe: the self-extractor for the console, without any window code.
#include "app/SFXStub.h"
#include "app/win/system/WinStart.h"

int main() {
  kelvane::HardenProcess();
  kelvane::TUtf8Console console;
  kelvane::TUtf8Arguments args;
  return kelvane::SFXStub(args.Count(), args.Values(), nullptr);
}
