// One archive item: its central header as stored, its decoded name, comment,
// extra fields, Zip64 values and the working state of pending changes.
#pragma once

#include <memory>
#include <optional>

#include "container/KelExtraField.h"
#include "container/KelItemName.h"
#include "container/KelItemTypes.h"
#include "container/KelZipRecords.h"
#include "platform/Stream.h"

namespace kelvane {

// The fields few items ever use: those of pending changes and of items being
// added, the comment and the Zip64 values. An item holds them only once one of
// them is set, so an opened directory of a million items holds none.
struct TDirItemRare {
  UString OldName;
  AnsiString Comment;
  TKelZip64ExtendedInfo Zip64ExtInfo;
  AnsiString Password;
  std::shared_ptr<TStream> Stream;
  UString SrcFileName;

  ~TDirItemRare();  // wipes the password
};

// Items are values: a copy owns its own extra-field data. The source stream is
// shared between copies (the directory and its roll-back copy may both hold
// an item being added) and is released with the last copy that holds it, so a
// stream is never freed twice nor used after it was freed.
//
// The rarely set fields are accessor pairs over TDirItemRare; reading one of
// an item that has none gives the empty value.
struct TDirItem {
  TKelZipCentralDir CentralDir;
  TItemName Name;  // as stored: '/' separators, folders end with '/'
  TKelExtraFields ExtraFields;
  int32_t Position = 0;  // where the item's data begins in Stream()
  TKelCryptoAlgorithm KelEncryptionAlgorithm = caPkzipClassic;
  TKelProcessOperation Operation = poAdd;
  uint16_t CompressionMethod = 0;  // the actual method, also for AES items
  uint8_t CompressionMode = 0;
  // Name is still the one read from its host's UTF-8 bytes without bit 11
  // (IsHostUtf8Name, container/KelNames.h): the writer gives those bytes back.
  // TKelDirArray::SetItemName clears it when the name changes.
  bool NameInHostUtf8 = false;
  // A block of the central extra area as read ran past its end.
  bool ExtraAreaCut = false;
  bool bHugeFile = false;  // the item has or needs a Zip64 extended information field
  bool Modified = false;
  bool bDestroyStream = false;  // Stream() was handed over to the item
  bool Tagged = false;
  bool UseOldRijndael = false;

  // The name before a pending rename.
  const UString& OldName() const { return Rare().OldName; }
  void SetOldName(UStringView v);
  const AnsiString& Comment() const { return Rare().Comment; }
  void SetComment(AnsiString v);
  const TKelZip64ExtendedInfo& Zip64ExtInfo() const { return Rare().Zip64ExtInfo; }
  // The Zip64 values to change in place.
  TKelZip64ExtendedInfo& EditZip64ExtInfo() { return EditRare().Zip64ExtInfo; }
  void SetZip64ExtInfo(const TKelZip64ExtendedInfo& v);
  const AnsiString& Password() const { return Rare().Password; }
  void SetPassword(AnsiString v);
  TStream* Stream() const { return Rare().Stream.get(); }
  const UString& SrcFileName() const { return Rare().SrcFileName; }
  void SetSrcFileName(UStringView v);

  TDirItem() = default;
  TDirItem(const TDirItem& other);
  TDirItem(TDirItem&&) noexcept = default;
  TDirItem& operator=(const TDirItem& other);
  TDirItem& operator=(TDirItem&&) noexcept = default;
  ~TDirItem() = default;

  // Sets the source stream. With Owns the item takes the stream over and frees
  // it when the last copy of the item lets it go; otherwise the caller keeps it
  // alive while the item needs it.
  // A null stream releases the one the item holds.
  void SetStream(TStream* stream, bool owns);

  bool IsDirectory() const { return (CentralDir.externalAttr & KelAttrDirectory) != 0; }

  // The values with the Zip64 escapes resolved.
  uint64_t UncompressedSize() const;
  uint64_t CompressedSize() const;
  uint64_t LocalHeaderOffset() const;
  uint32_t DiskNumberStart() const;

  // Moves the local header offset by Delta. An offset already in Zip64 form
  // stays there; a 32-bit one that would reach 0xFFFFFFFF moves to the Zip64
  // value and marks the item huge. Returns false and changes nothing when the
  // result would not fit 64 bits.
  bool ShiftLocalHeaderOffset(uint64_t delta);

  // Interprets one extra-field block of this item's header: 0x0001 fills
  // Zip64ExtInfo for the escaped fields and marks the item huge; 0x9901 (unless
  // extractVersion is KelVersionApart or more, or the data is shorter than 7
  // bytes) sets the working CompressionMethod, and the encryption algorithm for
  // strengths 1 to 3. Returns the name a valid Unicode name field (0x554E)
  // carries; the caller renames the item through its directory so the name
  // index follows. A Unicode path field (0x7075) needs the header's name bytes:
  // ReadExtraFields reads it.
  std::optional<UString> ApplyExtraField(const TKelExtraFieldDataBlock& block);

  // Reads the item's whole extra area: clears bHugeFile, appends every block to
  // ExtraFields (cut as ParseExtraFields does) and applies each in order.
  // NameBytes are the header's name bytes as stored. Returns the name that
  // replaces the one read from those bytes, if any (the order is set out in
  // container/KelNames.h):
  // - the name of the last valid Unicode name field (0x554E), wherever it stands;
  // - else the name of the valid Unicode path fields (0x7075, see
  //   UnicodePathFieldName), when they all give the same one. Valid fields
  //   that disagree make the name ambiguous and give nothing: the item keeps
  //   the name of its bytes rather than one that another reader may not pick.
  std::optional<UString> ReadExtraFields(std::span<const uint8_t> area, std::string_view NameBytes);

 private:
  const TDirItemRare& Rare() const;
  TDirItemRare& EditRare();

  std::unique_ptr<TDirItemRare> FRare;
};

}  // namespace kelvane
