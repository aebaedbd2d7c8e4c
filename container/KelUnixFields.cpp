#include "container/KelUnixFields.h"

#include "container/KelByteIO.h"

namespace kelvane {
namespace {

bool MadeOnUnix(uint16_t versionMadeBy) {
  const uint8_t host = MadeByHost(versionMadeBy);
  return host == KelHostUnix || host == KelHostOsx;
}

}  // namespace

uint16_t VersionMadeByFor(uint16_t Current, uint16_t Version) {
  if (!MadeOnUnix(Current)) return Version;
  return static_cast<uint16_t>((Current & 0xFF00) | (Version & 0x00FF));
}

uint32_t UnixExternalAttributes(uint32_t Mode, bool Hidden) {
  uint32_t dos = (Mode & KelUnixTypeMask) == KelUnixDirectory ? KelAttrDirectory : KelAttrArchive;
  if (!(Mode & KelUnixOwnerWrite)) dos |= 0x01;
  if (Hidden) dos |= 0x02;
  return ((Mode & 0xFFFF) << 16) | dos;
}

std::optional<uint32_t> UnixModeOf(uint16_t VersionMadeBy, uint32_t ExternalAttr) {
  if (!MadeOnUnix(VersionMadeBy)) return std::nullopt;
  const uint32_t mode = ExternalAttr >> 16;
  if (mode == 0) return std::nullopt;
  return mode;
}

bool IsUnixLink(const TKelZipCentralDir& Header) {
  const std::optional<uint32_t> mode = UnixModeOf(Header);
  return mode && (*mode & KelUnixTypeMask) == KelUnixLink;
}

std::optional<TKelExtraFieldDataBlock> BuildExtendedTimestampField(int64_t Time) {
  if (Time < 0 || Time > INT32_MAX) return std::nullopt;
  TBytes data;
  TKelByteWriter out(data);
  out.U8(KelTimestampHasMTime);
  out.U32(static_cast<uint32_t>(Time));
  return TKelExtraFieldDataBlock(KelExtendedTimestampId, std::move(data));
}

std::optional<int64_t> ExtendedTimestampMTime(std::span<const uint8_t> Data) {
  TKelByteReader in(Data);
  const uint8_t flags = in.U8();
  const uint32_t time = in.U32();
  if (!in.Ok() || !(flags & KelTimestampHasMTime)) return std::nullopt;
  return int64_t{time};
}

std::optional<int64_t> ItemUnixMTime(const TKelExtraFields& Fields) {
  for (const TKelExtraFieldDataBlock& block : Fields) {
    if (block.headerID != KelExtendedTimestampId) continue;
    if (const std::optional<int64_t> time = ExtendedTimestampMTime(block.pData)) return time;
  }
  return std::nullopt;
}

}  // namespace kelvane
