#include "container/KelDirItem.h"

#include <limits>

namespace kelvane {

TDirItemRare::~TDirItemRare() {
  volatile char* p = Password.data();
  for (size_t i = 0; i < Password.size(); ++i)
    p[i] = 0;
}

TDirItem::TDirItem(const TDirItem& other)
    : CentralDir(other.CentralDir),
      Name(other.Name),
      ExtraFields(other.ExtraFields),
      Position(other.Position),
      KelEncryptionAlgorithm(other.KelEncryptionAlgorithm),
      Operation(other.Operation),
      CompressionMethod(other.CompressionMethod),
      CompressionMode(other.CompressionMode),
      NameInHostUtf8(other.NameInHostUtf8),
      ExtraAreaCut(other.ExtraAreaCut),
      bHugeFile(other.bHugeFile),
      Modified(other.Modified),
      bDestroyStream(other.bDestroyStream),
      Tagged(other.Tagged),
      UseOldRijndael(other.UseOldRijndael),
      FRare(other.FRare ? std::make_unique<TDirItemRare>(*other.FRare) : nullptr) {}

TDirItem& TDirItem::operator=(const TDirItem& other) {
  if (this != &other) *this = TDirItem(other);
  return *this;
}

const TDirItemRare& TDirItem::Rare() const {
  static const TDirItemRare none;
  return FRare ? *FRare : none;
}

TDirItemRare& TDirItem::EditRare() {
  if (!FRare) FRare = std::make_unique<TDirItemRare>();
  return *FRare;
}

void TDirItem::SetOldName(UStringView v) {
  if (FRare || !v.empty()) EditRare().OldName = v;
}

void TDirItem::SetComment(AnsiString v) {
  if (FRare || !v.empty()) EditRare().Comment = std::move(v);
}

void TDirItem::SetZip64ExtInfo(const TKelZip64ExtendedInfo& v) {
  if (FRare || v != TKelZip64ExtendedInfo()) EditRare().Zip64ExtInfo = v;
}

void TDirItem::SetPassword(AnsiString v) {
  if (!FRare && v.empty()) return;
  TDirItemRare& rare = EditRare();
  volatile char* p = rare.Password.data();
  for (size_t i = 0; i < rare.Password.size(); ++i)
    p[i] = 0;
  rare.Password = std::move(v);
}

void TDirItem::SetSrcFileName(UStringView v) {
  if (FRare || !v.empty()) EditRare().SrcFileName = v;
}

void TDirItem::SetStream(TStream* stream, bool owns) {
  if (!stream) {
    if (FRare) FRare->Stream.reset();
  } else if (owns) {
    EditRare().Stream.reset(stream);
  } else {
    EditRare().Stream = std::shared_ptr<TStream>(stream, [](TStream*) {});
  }
  bDestroyStream = owns && stream;
}

uint64_t TDirItem::UncompressedSize() const {
  return CentralDir.unCompSize == KelZip64Escape32 ? Zip64ExtInfo().uncompSize
                                                   : CentralDir.unCompSize;
}

uint64_t TDirItem::CompressedSize() const {
  return CentralDir.compSize == KelZip64Escape32 ? Zip64ExtInfo().compSize : CentralDir.compSize;
}

uint64_t TDirItem::LocalHeaderOffset() const {
  return CentralDir.relOffsetLH == KelZip64Escape32 ? Zip64ExtInfo().relOffsetLH
                                                    : CentralDir.relOffsetLH;
}

uint32_t TDirItem::DiskNumberStart() const {
  return CentralDir.diskNumberStart == KelZip64Escape16 ? Zip64ExtInfo().diskNumberStart
                                                        : CentralDir.diskNumberStart;
}

bool TDirItem::ShiftLocalHeaderOffset(uint64_t delta) {
  const uint64_t current = LocalHeaderOffset();
  if (delta > std::numeric_limits<uint64_t>::max() - current) return false;
  const uint64_t shifted = current + delta;
  if (CentralDir.relOffsetLH == KelZip64Escape32) {
    EditZip64ExtInfo().relOffsetLH = shifted;
  } else if (shifted < KelZip64Escape32) {
    CentralDir.relOffsetLH = static_cast<uint32_t>(shifted);
  } else {
    bHugeFile = true;
    CentralDir.relOffsetLH = KelZip64Escape32;
    EditZip64ExtInfo().relOffsetLH = shifted;
  }
  return true;
}

namespace {

// Bytes that Blocks from First on take on disk. When parsing an area reported a
// fault and these fill the area, the fault was its last block being cut (the
// other one, a dropped tail, leaves bytes over).
size_t DiskSizeFrom(const TKelExtraFields& blocks, size_t first) {
  size_t size = 0;
  for (size_t i = first; i < blocks.size(); ++i)
    size += blocks[i].DiskSize();
  return size;
}

// The names the valid Unicode path fields of one header give.
class TPathNames {
 public:
  void Add(std::optional<UString> name) {
    if (!name) return;
    if (FName && *FName != *name) FDisagree = true;
    FName = std::move(name);
  }
  // Their common name; none when there is none or when they disagree.
  std::optional<UString> Agreed() const { return FDisagree ? std::nullopt : FName; }

 private:
  std::optional<UString> FName;
  bool FDisagree = false;
};

}  // namespace

std::optional<UString> TDirItem::ApplyExtraField(const TKelExtraFieldDataBlock& block) {
  switch (block.headerID) {
    case KelZip64ExtraId:
      ReadZip64ExtendedInfo(block.pData, Zip64EscapesOf(CentralDir), EditZip64ExtInfo());
      bHugeFile = true;
      break;
    case KelAesExtraId: {
      TKelAesExtraField aes;
      if (CentralDir.extractVersion >= KelVersionApart || !aes.Read(block.pData)) break;
      if (aes.strength >= 1 && aes.strength <= 3)
        KelEncryptionAlgorithm = static_cast<TKelCryptoAlgorithm>(caAES_128 + (aes.strength - 1));
      CompressionMethod = aes.compMethod;
      break;
    }
    case KelUnicodeNameExtraId: {
      TUnicodeExtendedInfo info;
      if (info.Load(block.pData.data(), block.dataSize())) return info.FName;
      break;
    }
    default:
      break;
  }
  return std::nullopt;
}

std::optional<UString> TDirItem::ReadExtraFields(std::span<const uint8_t> area,
                                                 std::string_view NameBytes) {
  bHugeFile = false;
  const size_t first = ExtraFields.size();
  const bool whole = ParseExtraFields(area, ExtraFields);
  const bool lastCut = !whole && DiskSizeFrom(ExtraFields, first) == area.size();
  std::optional<UString> unicodeName;
  TPathNames paths;
  // A path field's name runs to the end of its block: a cut one would name the
  // item with the front of its name, and so would the whole block it becomes
  // when written back. It is dropped.
  if (lastCut && ExtraFields.size() > first && ExtraFields.back().headerID == KelUnicodePathExtraId)
    ExtraFields.pop_back();
  for (size_t i = first; i < ExtraFields.size(); ++i) {
    const TKelExtraFieldDataBlock& block = ExtraFields[i];
    if (auto name = ApplyExtraField(block)) {
      unicodeName = std::move(name);
    } else if (block.headerID == KelUnicodePathExtraId) {
      paths.Add(UnicodePathFieldName(block.pData, NameBytes));
    }
  }
  // The engine's own field keeps the last word, wherever it stands.
  if (unicodeName) return unicodeName;
  return paths.Agreed();
}

}  // namespace kelvane
