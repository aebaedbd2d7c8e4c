// Reports of damage that reading got past: the rebuilt directory and local
// records that the directory overrules.
#include <algorithm>

#include "container/KelDirManager.h"
#include "engine/Kelvane.h"

namespace kelvane {

TKelDirRecovery TKelBaseArchiver::DirRecovery() const {
  return DMHandle ? DMHandle->Recovery : TKelDirRecovery();
}

void TKelBaseArchiver::DoLocalRecordWarning(const UString& FileName, TKelLocalRecord Record,
                                            TKelLocalMismatch Mismatch) {
  if (!FOnLocalRecordWarning) return;
  UString name = FileName;
  std::replace(name.begin(), name.end(), u'/', PathDelim);
  FOnLocalRecordWarning(this, name, Record, Mismatch);
}

}  // namespace kelvane
