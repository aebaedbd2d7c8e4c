// kelvane-sfx: the self-extractor with its window; the terminal without a display.
#include "app/SFXStub.h"
#include "app/fltk/FltkDialog.h"

int main(int argc, char** argv) {
  return kelvane::SFXStub(argc, argv, kelvane::RunFltkDialog);
}
