#include "cli/Damage.h"

#include "cli/Commands.h"
#include "cli/ItemFormat.h"

namespace kelvane::cli {

std::string RecoveryText(const TKelDirRecovery& recovery) {
  if (!recovery.Rebuilt()) return {};
  std::string text = RecoveryCauseText(recovery.Cause);
  if (!recovery.Detail.empty()) text += " (" + recovery.Detail + ")";
  return text;
}

bool WarnIfRebuilt(TCliArchiver& archiver) {
  const TKelDirRecovery recovery = archiver.DirRecovery();
  if (!recovery.Rebuilt()) return false;
  const int32_t items = archiver.ItemCount();
  PrintError(std::string("warning: the archive is damaged in its ") + RecoveryPart(recovery.Cause) +
             ": " + RecoveryText(recovery) + "; " + std::to_string(items) +
             (items == 1 ? " item was" : " items were") + " recovered from the local headers");
  return true;
}

void WriteDamageJson(TJsonWriter& json, TCliArchiver& archiver) {
  const TKelDirRecovery recovery = archiver.DirRecovery();
  json.Field("damaged", recovery.Rebuilt());
  json.Key("damage");
  if (!recovery.Rebuilt()) {
    json.Null();
    return;
  }
  json.BeginObject();
  json.Field("part", RecoveryPart(recovery.Cause));
  json.Field("cause", RecoveryCauseText(recovery.Cause));
  json.Field("detail", recovery.Detail);
  json.Field("recoveredItems", archiver.ItemCount());
  json.EndObject();
}

std::string LocalRecordWarningText(TKelLocalRecord record, TKelLocalMismatch mismatch) {
  const std::string what = LocalMismatchText(mismatch);
  const char* where = record == lrDataDescriptor ? "the data descriptor" : "the local header";
  if (mismatch == lmZip64Field)
    return std::string(where) + "'s Zip64 field is malformed (repeated or of the wrong length)";
  return std::string(where) + "'s " + what + " differs from the central directory";
}

std::string UnsupportedMethodText(const TDirItem& item) {
  const uint16_t method = item.CompressionMethod;
  if (method == 0 || method == 8) return {};
  const std::string name = MethodName(item);
  std::string text = "method " + std::to_string(method);
  if (name != "m" + std::to_string(method)) text += " (" + name + ")";
  return text + " is not supported";
}

}  // namespace kelvane::cli
