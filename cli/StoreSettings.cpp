#include "cli/StoreSettings.h"

#include <stdexcept>

#include "cli/ItemRun.h"
#include "platform/Text.h"

namespace kelvane::cli {

std::vector<TOptionSpec> StoreOptions() {
  std::vector<TOptionSpec> specs = {
      {"help", 'h'},
      {"level", 0, true},
      {"dir", 'C', true},
      {"exclude", 'x', true, true},
      {"store", 0, true},
      {"password", 'p', true},
      {"password-file", 0, true},
      {"encryption", 0, true},
      {"zip64", 0, true},
      {"follow-links"},
      {"comment", 0, true},
      {"verbose", 'v'},
      {"quiet", 'q'},
  };
  static const char* const kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
  for (const char* digit : kDigits)
    specs.push_back({"level", digit[0], false, false, digit});
  return specs;
}

int64_t ParseVolumeSize(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
    ++digits;
  const std::string suffix = text.substr(digits);
  int shift = -1;
  if (suffix.empty()) shift = 0;
  if (suffix == "k" || suffix == "K") shift = 10;
  if (suffix == "m" || suffix == "M") shift = 20;
  if (suffix == "g" || suffix == "G") shift = 30;
  if (digits == 0 || digits > 12 || shift < 0)
    throw EUsageError("--split takes a size such as 700m, 4g or 65536, not '" + text + "'");
  const int64_t size = std::stoll(text.substr(0, digits)) << shift;
  if (size < (int64_t{64} << 10)) throw EUsageError("--split needs at least 64k per volume");
  return size;
}

void ApplyStoreSettings(TCliArchiver& archiver, const TParsedArgs& args) {
  const std::string level = args.Last("level", "6");
  if (level.size() != 1 || level[0] < '0' || level[0] > '9')
    throw EUsageError("--level takes 0 to 9, not '" + level + "'");
  archiver.SetCompressionMode(static_cast<uint8_t>(level[0] - '0'));

  ApplyPasswordOptions(archiver, args);
  archiver.SetCanAskPassword(false);
  const std::string encryption = args.Last("encryption", "aes256");
  if (args.Has("encryption") && archiver.Password().empty())
    throw EUsageError("--encryption needs a password (-p or --password-file)");
  if (encryption == "zipcrypto")
    archiver.SetEncryptionMethod(caPkzipClassic);
  else if (encryption == "aes128")
    archiver.SetEncryptionMethod(caAES_128);
  else if (encryption == "aes192")
    archiver.SetEncryptionMethod(caAES_192);
  else if (encryption == "aes256")
    archiver.SetEncryptionMethod(caAES_256);
  else
    throw EUsageError("--encryption takes zipcrypto, aes128, aes192 or aes256, not '" + encryption +
                      "'");

  const std::string zip64 = args.Last("zip64", "auto");
  if (zip64 == "auto")
    archiver.SetZip64Mode(zmAuto);
  else if (zip64 == "always")
    archiver.SetZip64Mode(zmAlways);
  else if (zip64 == "never")
    archiver.SetZip64Mode(zmDisabled);
  else
    throw EUsageError("--zip64 takes auto, always or never, not '" + zip64 + "'");

  archiver.NoCompressionMasks().Clear();
  for (const std::string& mask : args.All("store"))
    archiver.NoCompressionMasks().Add(FromUtf8(mask));
  archiver.Options().SetFollowLinks(args.Has("follow-links"));
}

void CheckPasswordFitsArchive(TCliArchiver& archiver) {
  if (archiver.Password().empty()) return;
  const TDirItem* item = archiver.SmallestEncryptedItem();
  if (!item) return;
  const UString name = item->Name;
  if (!archiver.IsFilePasswordValid(name, archiver.Password()))
    throw std::runtime_error("the password does not open the archive's encrypted item " +
                             DisplayText(name) + "; nothing was changed");
}

}  // namespace kelvane::cli
