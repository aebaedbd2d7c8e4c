// A program outside the project that uses the installed engine: writes an
// archive with one item, reads the item back.
#include <cstdio>
#include <string>

#include "engine/Kelvane.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  kelvane::TKelvane archiver(nullptr);
  archiver.SetFileName(kelvane::FromUtf8(argv[1]));
  archiver.SetCompressionMode(9);
  archiver.OpenArchive(kelvane::fmCreate);
  archiver.AddFromString(u"hello.txt", u"hello from outside", 0, 0);
  kelvane::UString text;
  archiver.ExtractToString(u"hello.txt", text);
  archiver.CloseArchive();
  std::printf("%s\n", kelvane::ToUtf8(text).c_str());
  return text == u"hello from outside" ? 0 : 1;
}
