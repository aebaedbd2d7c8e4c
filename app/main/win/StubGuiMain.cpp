// kelvane-sfx.exe: the self-extractor with its window (a GUI program: no
// console of its own).
#include "app/SFXStub.h"
#include "app/win/WinDialog.h"
#include "app/win/system/WinStart.h"

int main() {
  kelvane::HardenProcess();
  kelvane::UseParentConsole();
  kelvane::TUtf8Arguments args;
  return kelvane::SFXStub(args.Count(), args.Values(), kelvane::RunWinDialog);
}
