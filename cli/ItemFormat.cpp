#include "cli/ItemFormat.h"

#include <cstdio>

#include "container/KelZipConst.h"
#include "platform/CodePage.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagStrongEncryption = 0x0040;
constexpr uint16_t MethodAes = 99;

}  // namespace

std::string MethodName(const TDirItem& item) {
  switch (item.CompressionMethod) {
    case 0:
      return "stored";
    case 8:
      return "deflate";
    case 9:
      return "deflate64";
    case 12:
      return "bzip2";
    case 14:
      return "lzma";
    case 93:
      return "zstd";
    case 95:
      return "xz";
    case 98:
      return "ppmd";
    default:
      return "m" + std::to_string(item.CompressionMethod);
  }
}

std::string EncryptionName(const TDirItem& item) {
  const TKelZipCentralDir& h = item.CentralDir;
  if (!(h.genPurposeFlag & FlagEncrypted)) return {};
  if (h.compMethod == MethodAes) {
    switch (item.KelEncryptionAlgorithm) {
      case caAES_128:
        return "AES-128";
      case caAES_192:
        return "AES-192";
      case caAES_256:
        return "AES-256";
      default:
        return "AES";
    }
  }
  if (h.genPurposeFlag & FlagStrongEncryption) return "strong";
  return "PKZIP";
}

bool IsFolder(const TDirItem& item) {
  return item.IsDirectory() || (!item.Name.empty() && item.Name.back() == u'/');
}

std::string AttributeText(uint32_t attr) {
  std::string s = ".....";
  if (attr & 0x10) s[0] = 'D';
  if (attr & 0x01) s[1] = 'R';
  if (attr & 0x02) s[2] = 'H';
  if (attr & 0x04) s[3] = 'S';
  if (attr & 0x20) s[4] = 'A';
  return s;
}

std::string DosDateTimeText(uint16_t date, uint16_t time, bool iso) {
  // Called once per listed item: plain digits rather than snprintf.
  std::string s = "0000-00-00 00:00:00";
  auto put = [&s](size_t at, unsigned value, size_t width) {
    for (size_t i = width; i-- > 0; value /= 10)
      s[at + i] = static_cast<char>('0' + value % 10);
  };
  put(0, (date >> 9) + 1980u, 4);
  put(5, (date >> 5) & 15u, 2);
  put(8, date & 31u, 2);
  if (iso) s[10] = 'T';
  put(11, time >> 11, 2);
  put(14, (time >> 5) & 63u, 2);
  put(17, (time & 31u) * 2, 2);
  return s;
}

int SavedPercent(uint64_t size, uint64_t compressed) {
  if (size == 0 || compressed >= size) return 0;
  return static_cast<int>((1.0 - double(compressed) / double(size)) * 100.0);
}

std::string CommentText(const std::string& comment) {
  return IsWellFormedUtf8(comment) ? comment : ToUtf8(AnsiToUnicode(comment));
}

std::string HumanBytes(double bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char buf[32];
  if (unit == 0)
    std::snprintf(buf, sizeof buf, "%.0f B", bytes);
  else
    std::snprintf(buf, sizeof buf, "%.1f %s", bytes, units[unit]);
  return buf;
}

}  // namespace kelvane::cli
