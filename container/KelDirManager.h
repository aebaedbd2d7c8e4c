// The directory of one open archive: reading it (behind any stub, with the Zip64
// records, or rebuilt from the local headers when it cannot be read), writing it
// back, and merging two of them.
#pragma once

#include "container/KelArchiveHost.h"
#include "container/KelDamage.h"
#include "container/KelDirArray.h"
#include "container/KelZipRecords.h"

namespace kelvane {

// Every search and test that moves the stream to look at bytes puts the position
// back before it returns. Errors are EKelException (native codes below), or the
// stream's own errors (EReadError for bytes that are not there, EWriteError).
class TKelDirManager {
 public:
  // At most this many bytes at the end of the stream are searched for the end record.
  static constexpr int64_t EndRecordSearchWindow = 0x10040;
  // Window of the search for the first item's local header behind a stub.
  static constexpr int64_t StubSearchWindow = 10000;
  // Window of one search for a local header or a data descriptor.
  static constexpr int64_t RecoverySearchWindow = 0xFFFF;
  // The reads of a rebuild, which goes through the whole stream; from
  // RecoveryScanAheadFrom bytes on, a file's second half is searched on
  // another thread meanwhile.
  static constexpr int64_t RecoveryScanChunk = 1 << 20;
  static constexpr int64_t RecoveryScanAheadFrom = 4 << 20;
  // A local header with more extra bytes is not taken by the recovery scan.
  static constexpr uint16_t RecoveryMaxExtraLength = 260;

  // Stream is read and written, never freed; Arc must outlive the manager. A
  // Stream that is not Arc's archive stream is a custom stream: volumes are
  // then never switched. With bCreate the archive is new: the current volume
  // becomes the first, and Arc's SFXStub, when set, is copied into the emptied
  // stream (CopySFXStub).
  TKelDirManager(TStream* Stream, bool bCreate, TKelArchiveHost* Arc);
  ~TKelDirManager();
  TKelDirManager(const TKelDirManager&) = delete;
  TKelDirManager& operator=(const TKelDirManager&) = delete;

  // Reads the directory of the archive in the stream. Afterwards CDir holds the
  // items in directory order with local header offsets that count any stub,
  // and the end records, ArchiveComment, StubSize and CentralDirOffset describe
  // the archive. Without an end record in the last 65,600 bytes (or with 0xFFFF
  // entries and no Zip64 records), and, when OpenCorruptedArchives is set,
  // whenever the directory cannot be read, the items are rebuilt from the local
  // headers (RecoverDirectory); Recovery then tells why, and what was noticed.
  // Raises:
  //   40  a Zip64 locator stands before the end record but no Zip64 end record
  //       is where it points;
  //   44  a rebuild is needed while the archive has volumes;
  //   35  a rebuild finds no local header;
  //   57  the directory lies outside the stream, a central header lacks its
  //       signature, or (unless OpenCorruptedArchives) the stream is smaller
  //       than the items' compressed sizes together; and, whatever
  //       OpenCorruptedArchives says (a contradiction is not damage a rebuild
  //       could mend), two items name the same local header, or an item the
  //       directory does not list stands behind the last one
  //       (CheckNoUnlistedItemAtEnd);
  //   59  an item with an empty name follows another one;
  //   EReadError  the directory ends before the items its end record announces
  //       (its end is the start of the records behind it, not the stream's end).
  // On failure the directory keeps the items read completely.
  void LoadDir();

  // Searches for the end record (into CentralDirEnd and ArchiveComment). True
  // when one is found, and always when OpenCorruptedArchives is set.
  bool HasCentralDirEnd();
  // Item 0 exists and its local header is not at offset 0.
  bool IsSFXArchive() const;
  // Item 0 exists and is encrypted; no other item is looked at.
  bool IsEncrypted() const;

  // Appends the items of DMHandleToAdd. Those the caller tagged are untagged and
  // their local header offsets moved by this archive's CentralDirOffset (into
  // the Zip64 form when they reach 4 GiB); this archive's items end untagged.
  void MergeWith(const TKelDirManager& DMHandleToAdd);

  // Writes CDir, the Zip64 end record and locator when the directory ends at
  // 4 GiB - 1 or later or the items are 65,535 or more (or the volume number
  // needs them), then the end record and ArchiveComment. Stream, when given,
  // becomes the manager's stream first. RecreateCDirEnd true appends the
  // directory at the end of the stream; false replaces the directory the
  // stream holds now (found by its end record; appended when there is none,
  // and after a rebuild from the local headers, whose old directory is of
  // unknown place), so that nothing of the old directory and its end records
  // remains and nothing of the items' data is cut. The stream ends right after
  // the new end record. Each item's name, extra and comment lengths and flag
  // bit 11 are set from what is written. Names, extra areas and comments
  // that do not fit their 16-bit length fields raise Exception before anything
  // is changed; a short write raises EKelException 46 (through the archiver).
  // With volumes, the last volume is then renamed (TKelArchiveHost).
  void SaveDir(bool RecreateCDirEnd, TStream* Stream = nullptr);

  // ---- Steps of reading and writing, public for the engine's repair and
  // merge operations and for tests.

  // No items (storage released), an empty name index, and an end record of
  // zeros with its signature.
  void ResetDir();
  // Empties the stream and copies Arc's SFXStub file into it; StubSize := its
  // size. Raises EKelException 47 (with the component) when the archive has
  // volumes and the stub is larger than the first volume may be, and the
  // stream's open error when the file cannot be opened.
  void CopySFXStub();
  // Searches the last 65,600 bytes for the end record (signature Signature):
  // of the valid ones (IsValidEndRecord), the one nearest to the end of the
  // stream among those that fit best (EndRecordFit). So a record inside
  // another's comment that does not fit as well is only comment, and bytes
  // may follow an archive (as a signature behind a self-extractor). Found:
  // Record, its Position and ArchiveComment are set, result true. Otherwise
  // Record is all zeros, Position -1, ArchiveComment empty, result false.
  bool FindEndRecord(TKelZipCentralDirEnd& Record, int64_t& Position, uint32_t Signature);
  // Whether an end record at P is consistent with the bytes around it: whole,
  // disk and entry counts in order, the directory before it (when it begins on
  // this volume), its comment inside the stream.
  bool IsValidEndRecord(int64_t P);
  // How well a valid end record at P fits: 2 when its comment ends with the
  // stream, plus 1 when its directory is where it says (a central header at
  // the position its size gives, or the Zip64 end record where a locator in
  // front points; an empty directory of size 0; a directory that begins on an
  // earlier volume is not looked at).
  int EndRecordFit(int64_t P, const TKelZipCentralDirEnd& Record);
  // Reads the Zip64 locator in front of EndPos; true, and EndPos moved to it,
  // when its signature is there.
  bool ReadZip64Locator(int64_t& EndPos);
  // Reads the Zip64 end record at the offset the locator gives; true, and
  // EndPos moved 56 bytes back (the record is taken to stand right before the
  // locator), when its signature is there.
  bool ReadZip64EndRecord(int64_t& EndPos);
  // Raises EKelException 57 when the stream is smaller than the items'
  // compressed sizes together.
  void CheckCompressedSizes();
  // Measures the stub: StubSize := where item 0's local header is found, at or
  // after its stored offset (EndPos, everything in front of the end records,
  // for an archive without items); 0 when it is not found.
  void DetectStub(int64_t EndPos);
  // Whether a local header at S describes item 0 (always, for a header at 0).
  bool MatchesFirstItem(int64_t S);
  // Searches forward from Pos for the 4 bytes of Pattern (little-endian); true
  // and Pos := where they are when found.
  bool FindSignature(int64_t& Pos, uint32_t Pattern);
  // Whether the stored offsets already count the stub, judged by the first
  // item with data: true when its local header (IsLocalHeaderOf) stands at
  // its stored offset, false when it stands StubSize bytes further;
  // else whether that offset is StubSize or more. True when no item has data.
  bool OffsetsIncludeStub() const;
  // Raises EKelException 57 when a whole local header stands right behind the
  // data of the item whose local header comes last (or behind the data
  // descriptor that may follow them) and before the directory: an item the
  // directory does not list, which readers that follow the local headers would
  // extract. Looked at only when an item starts at 0 and no stub was
  // measured, as bytes in front of the archive may hold anything; gaps
  // between listed items are not searched (that would take every local
  // header at opening).
  void CheckNoUnlistedItemAtEnd();
  // Moves the local header offset of every item, folders included, by
  // StubSize, into the Zip64 form when it reaches 4 GiB.
  void ApplyStubOffset();
  // Rebuilds CDir from the local headers in the stream (appending to it).
  // EndRecordFound tells whether the names may be OEM (an end record of this
  // engine's kind was found). Local header positions of 4 GiB or more are kept
  // in the Zip64 form. Raises EKelException 35 when there is no local header.
  void RecoverDirectory(bool EndRecordFound);
  // Position of the first local header signature at or after From with a whole
  // header's room behind it; -1 when none.
  int64_t FindLocalHeader(int64_t From);
  // The first data descriptor at or after From; false when there is none or
  // its 16 bytes are not all in the stream.
  bool FindDataDescriptor(int64_t From, TKelZipDataDescriptor& Descriptor);
  // Makes the volume Info describes current, unless the stream is a custom one.
  void OpenVolumeForRead(const TKelVolumeNumberInfo& Info);
  // Takes Arc's archive stream again after Arc changed volumes itself, unless
  // the stream is a custom one.
  void FollowArchiveStream() {
    if (!FIsCustomStream) FCompressedStream = FArc->ArchiveStream();
  }

  // ---- State
  TStream* CompressedStream() const { return FCompressedStream; }
  bool IsNewArchive() const { return FCreate; }
  bool IsCustomStream() const { return FIsCustomStream; }
  TKelArchiveHost& Arc() const { return *FArc; }
  // The archive has Zip64 end records (as read, or as last written).
  bool Zip64() const { return FZip64; }

  TKelDirArray RBCDir;          // the directory when an update began, for its roll-back
  AnsiString RBArchiveComment;  // and the archive comment then
  TKelDirArray CDir;
  AnsiString ArchiveComment;
  TKelZip64CentralDirEndLocator Zip64CentralDirEndLocator;
  TKelZip64CentralDirEnd Zip64CentralDirEnd;
  TKelZipCentralDirEnd CentralDirEnd;
  int64_t StubSize = 0;  // bytes in front of the archive proper
  bool Aborted = false;
  // Where the first central header is, and so where the items' data ends; the
  // stream size after a rebuild from the local headers.
  int64_t CentralDirOffset = 0;
  // Whether the last LoadDir rebuilt the directory from the local headers,
  // and why.
  TKelDirRecovery Recovery;

 private:
  class TDirSink;
  // Bytes of the stream read by the last step of a scan, kept for the next
  // step while the stream does not change.
  struct TScanWindow {
    int64_t Start = 0;
    int64_t Length = 0;
    TBytes Bytes;
  };

  bool Corrupted() const;
  void ReadItems(uint64_t ItemCount, int64_t DirStart, int64_t DirEnd, int64_t LastDisk,
                 TKelVolumeNumberInfo& Volume);
  // Raises EKelException 57 when two items name the same local header: one
  // item's bytes would be read, and counted, as several.
  void CheckDistinctLocalHeaders() const;
  // Whether a local header that may be Item's stands at At: its signature,
  // and the method, time, date and name length of Item's central header (not
  // the CRC and sizes, which a header followed by a data descriptor lacks).
  bool IsLocalHeaderOf(uint64_t At, const TDirItem& Item) const;
  void Recover(bool EndRecordFound, TKelRecoveryCause Cause, std::string Detail);
  // Raises EKelException 57, noting Detail as what was found wrong.
  [[noreturn]] void DirectoryDamaged(std::string Detail);
  // Limit: when not negative, only signatures that begin before it are seen.
  int64_t ScanFor(int64_t From, uint32_t Pattern, int64_t Window, TScanWindow* Cache = nullptr,
                  int64_t Limit = -1);
  int64_t LocalHeaderFrom(int64_t From, TScanWindow* Cache);
  // At, or -1 when a local header found there has no room before the end.
  int64_t WithHeaderRoom(int64_t At) const;
  int64_t OldDirectoryStart();
  void WriteItems(TDirSink& Sink);

  TStream* FCompressedStream = nullptr;
  bool FCreate = false;
  bool FIsCustomStream = false;
  TKelArchiveHost* FArc = nullptr;
  bool FZip64 = false;
  bool FEndSignatureSeen = false;  // by the last FindEndRecord, valid or not
  std::string FDamage;             // what made reading the directory fail
};

}  // namespace kelvane
