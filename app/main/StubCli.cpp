// kelvane-sfx-cli: the self-extractor without any window code.
#include "app/SFXStub.h"

int main(int argc, char** argv) {
  return kelvane::SFXStub(argc, argv, nullptr);
}
