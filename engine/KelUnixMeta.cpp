#include "engine/KelUnixMeta.h"

#include <climits>

#include "container/KelDirManager.h"
#include "container/KelUnixFields.h"
#include "engine/KelDestPath.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr int NativeCannotCreateFile = 19;

// Native error 19 for the link at Path, with the reason after the table's text.
EKelException LinkError(const UString& path, const UString& reason, const TComponent* component) {
  EKelException e(NativeCannotCreateFile, {path}, component);
  UString message = e.Message();
  const size_t at = message.rfind(u" - Native error: ");
  message.insert(at == UString::npos ? message.size() : at, u": " + reason);
  e.SetMessage(message);
  return e;
}

}  // namespace

int32_t LinkDosAttributes(const TDiskEntry& Entry, bool Hidden) {
  return static_cast<int32_t>(UnixExternalAttributes(Entry.Mode, Hidden) & 0xFFFF);
}

void SetUnixMetadata(TDirItem& Item, const TDiskEntry& Entry) {
  TKelZipCentralDir& cd = Item.CentralDir;
  cd.versionMadeBy = static_cast<uint16_t>((KelHostUnix << 8) | (cd.versionMadeBy & 0xFF));
  if ((cd.externalAttr >> 16) == 0) cd.externalAttr |= (Entry.Mode & 0xFFFF) << 16;
  if (auto field = BuildExtendedTimestampField(Entry.MTime)) Item.ExtraFields.push_back(*field);
  if (Entry.IsLink && !Item.IsDirectory()) {
    Item.SetStream(new TStringStream(Entry.LinkTarget), true);
    Item.bDestroyStream = true;
    Item.Position = 0;
  }
}

void TKelBaseArchiver::ExtractLinkItem(int32_t Index, const UString& DestPath, const UString& Root,
                                       bool Exists, std::optional<int64_t> Time) {
  const uint64_t size = DMHandle->CDir.GetItemPtr(Index).UncompressedSize();
  // A target no system could hold is refused before anything is decoded.
  if (size >= PATH_MAX) throw LinkError(DestPath, u"the link's target is too long", this);
  TMemoryStream data;
  ExtractItemToStream(Index, data, 0, 0);
  if (FSkipFile || FProgressCancel) return;
  const AnsiString target(data.Bytes().begin(), data.Bytes().end());
  if (target.empty()) throw LinkError(DestPath, u"the link's target is empty", this);
  if (!LinkStaysInside(Root, DestPath, target))
    throw LinkError(
        DestPath,
        u"the link leads to \"" + FromUtf8(target) + u"\", outside the destination folder", this);
  if (Exists && !RemoveFile(DestPath))
    throw EKelException(NativeCannotCreateFile, {DestPath}, this);
  if (!CreateSymbolicLink(target, DestPath))
    throw EKelException(NativeCannotCreateFile, {DestPath}, this);
  if (Time) SetLinkUnixTime(DestPath, *Time);
}

}  // namespace kelvane
