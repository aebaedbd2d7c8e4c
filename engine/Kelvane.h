// The archiver component: configuration, the state of the open archive, and the
// events through which it reports progress and asks questions.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "container/KelArchiveHost.h"
#include "container/KelReadAhead.h"
#include "container/KelVolumeInfo.h"
#include "engine/KelExcept.h"
#include "engine/KelOptions.h"
#include "engine/KelTypes.h"
#include "platform/Component.h"
#include "platform/Stream.h"
#include "platform/UnixFiles.h"

namespace kelvane {

class TKelDirManager;
struct TDirItem;
struct TKelItemDecoding;
struct TKelCommitState;
struct TAheadJob;
enum class TKelVerdict : uint8_t;
class TKelVerifyAhead;

class TKelBaseArchiver : public TComponent, public TKelArchiveHost {
 public:
  // Creates the options, masks, spanning options and volume descriptor with their
  // defaults and registers with AOwner, which destroys the component.
  explicit TKelBaseArchiver(TComponent* AOwner);
  // Closes the archive (committing an open update), then frees what it owns.
  ~TKelBaseArchiver() override;
  const char* ClassName() const override { return "TKelBaseArchiver"; }

  // ---- Opening and closing (engine/KelOpen.cpp)
  // Opening first closes an open archive (committing its update). A failed
  // opening leaves the component closed, with nothing of the attempt kept, and
  // raises what stopped it: EKelException for the cases below and for those of
  // the directory reader (35, 40, 44, 57, 59), stream errors as they come.

  // Chooses the mode: a new archive (0xFF00) when InMemory is set or FileName
  // names no file; otherwise read-write with deny-write sharing (0x0022) when
  // the file can be opened so, else read-only (0x0040). Native error 9 when
  // FileName has no file-name part (InMemory aside).
  void OpenArchive();
  // Opens FileName in Mode (0xFF00 creates a new, empty archive, replacing any
  // file; with InMemory set the new archive is in memory). Native errors:
  // 10 FileName has no file-name part (InMemory aside); 12 the file is missing
  // (Mode not 0xFF00, not spanning, not on removable media); 28 InMemory with
  // a Mode other than 0xFF00; 45 a volume request was cancelled; 48 no end
  // record while OpenCorruptedArchives is false.
  void OpenArchive(uint16_t Mode);
  // Opens, or with Create empties and makes a new archive in, the caller's
  // Stream, which is never freed and must outlive the opening. Native error 51
  // when SpanningMode is not smNone.
  void OpenArchive(TStream& Stream, bool Create);
  // Commits a pending update, completes a new archive to which nothing was
  // added (its end record, behind any stub), and releases the stream and the
  // directory. Never raises; a read-only archive is never written.
  void CloseArchive();

  // ---- Update transactions (engine/KelUpdate.cpp). Changes collect in the
  // directory in memory and are written by one commit at the outermost
  // EndUpdate: the archive is rewritten in place from its first changed item.
  // A commit never loses the archive: what it cuts is saved and flushed first,
  // with a journal beside the archive ("<archive>-journal") that the next
  // writable opening uses to roll an interrupted commit back.

  // Opens the archive when it is not active and starts (or, nested, counts) an
  // update. Native errors: 62 a multi-volume archive already had a commit, or
  // was not created by this opening (a set is written once, as it is made);
  // 32 the archive is open read-only. An interrupted commit of a file archive is
  // rolled back first.
  void BeginUpdate();
  // Counts a nested update down; the outermost one commits (CommitUpdate).
  // Nothing without an open update.
  void EndUpdate();
  // Ends every level without writing; the directory in memory keeps its edits.
  void CancelUpdate();

  // ---- Search (engine/KelSearch.cpp). Items are walked in directory order;
  // F.Handle holds the state, so several searches may run side by side. An
  // item passes the attribute mask when each of its hidden, system,
  // volume-label and folder bits is also in the mask. When nothing is found
  // the result is false and F keeps its contents. Native error 13 when no
  // archive is open.

  // Selects with FileMasks, ExclusionMasks (lines in disk form) and
  // Options().SearchAttr(). With Options().Recurse() false a FileMasks line
  // selects only items in the folder it names (the root for a line without
  // one).
  bool FindFirst(TKelArchiveItem& F);
  // Selects with FileMask (disk or stored separators; a drive is dropped unless
  // StorePath is spFullPathWithDrive), matched against the stored name or its
  // last component, and rejects what ExclusionMask matches. With Recurse off
  // only items in the mask's folder are seen, and a mask without wildcards is
  // looked up as a name (then neither SearchAttr nor ExclusionMask applies).
  // Native error 61 for a FileMask of more than 259 characters.
  bool FindFirst(const UString& FileMask, TKelArchiveItem& F, int32_t SearchAttr,
                 const UString& ExclusionMask);
  // The next item after F.Handle.ItemNo that passes F's search.
  bool FindNext(TKelArchiveItem& F);

  // ---- Multi-item operations. The argument-less forms use FileMasks,
  // ExclusionMasks and Options().SearchAttr().

  // Extracting and testing (engine/KelExtract.cpp) run the selected items
  // through ProcessItems. Native errors raised to the caller: 13 no archive is
  // open; 26 an update is open. An engine error of one item becomes the
  // failure question (DoProcessFileFailure) and never reaches the caller; an
  // abort or a cancel ends the run without an error. Any other error (of a
  // handler, of the file layer) leaves the run at once, without end reports.
  //
  // Extracting writes below BaseDir (the process's current folder at first use
  // when it is empty): a stored name never reaches outside it (see
  // SafeRelativeName), and nothing is written through a symbolic link below
  // it; only an OnExtractFile handler may name a full path. A failed,
  // skipped or cancelled item leaves no file behind, also when it replaced one.
  void ExtractFiles();
  // With Recurse off, a mask without wildcards, no exclusion and SearchAttr
  // 0x28BF, the one item of that name (nothing when there is none).
  void ExtractFiles(const UString& FileMask, int32_t SearchAttr, const UString& ExclusionMask);
  // Decodes and verifies the selected items; writes nothing.
  void TestFiles();
  void TestFiles(const UString& FileMask, int32_t SearchAttr, const UString& ExclusionMask);
  // Adding and moving from disk (engine/KelAddFiles.cpp), each in its own
  // update. Masks (FileMasks lines, or FileMask) are resolved against BaseDir
  // (against the current folder when empty): "*" and "?" search, with
  // Options().Recurse() the folders below too; SearchAttr with faDirectory
  // also stores the folders found. Exclusion masks (ExclusionMasks, or
  // ExclusionMask) and the archive's own file are never added; files that
  // match NoCompressionMasks are stored. An existing name is replaced as
  // Options().OverwriteMode() says. Moving deletes the sources once the
  // commit stands. Native errors: 13 no archive is open; 52 a multi-volume
  // archive that holds items, outside an update (not for MoveFiles with
  // arguments); those of the commit. An unreadable folder cancels the update.
  void AddFiles();
  void AddFiles(const UString& FileMask, int32_t SearchAttr, const UString& ExclusionMask);
  void MoveFiles();
  void MoveFiles(const UString& FileMask, int32_t SearchAttr, const UString& ExclusionMask);
  // Replaces the selected items (FileMasks, or FileMask) whose files below
  // BaseDir exist, as Options().OverwriteMode() says.
  void UpdateFiles();
  void UpdateFiles(const UString& FileMask, int32_t SearchAttr, const UString& ExclusionMask);

  // ---- Deleting, renaming and changing items (engine/KelChange.cpp). Each
  // changes the directory in an update of its own, committed at once unless the
  // caller holds one; the commit copies the kept items as they are (a renamed
  // one with a new local header). An error inside the update cancels it and
  // passes on; a failed commit leaves the archive as it was. Native errors: 13
  // no archive is open; those of BeginUpdate (32 read-only) and of the commit.

  // Removes the selected items through ProcessItems (poDelete: each is
  // confirmed, its failure is the failure question). When nothing is selected
  // the archive is not touched. Native error 52: a multi-volume archive that
  // holds items, outside an update.
  void DeleteFiles();
  void DeleteFiles(const UString& FileMask, int32_t SearchAttr, const UString& ExclusionMask);
  // Renames the first item OldName finds (every attribute; a folder also when
  // named without its trailing "/"): the part of its name that OldName names
  // (the whole name, or its last part when only that matched) becomes
  // NewName ("\\" is "/"). A folder takes everything below it along: only
  // the leading folder part of their names changes. A new name beyond ASCII
  // is stored as UTF-8 with flag bit 11 where items are new so. Native error
  // 30 when nothing is found. Raises Exception, changing nothing, for an empty
  // NewName, one ending with "/" for a file, and a new name that another item
  // keeps.
  void RenameFile(const UString& OldName, const UString& NewName);
  // The external attributes of every item FileMask finds (every attribute)
  // become NewAttr; a folder keeps its bit 0x10. Native error 31 when nothing
  // is found.
  void ChangeFilesAttr(const UString& FileMask, uint32_t NewAttr);
  // The internal attributes (16 bits of NewAttr) of the items FileMask finds.
  // Native error 38 when nothing is found.
  void ChangeFilesIntAttr(const UString& FileMask, uint32_t NewAttr);
  // The comment of the items FileMask finds. Native error 31 when nothing is
  // found; a comment longer than 65535 bytes fails the commit.
  void ChangeFilesComment(const UString& FileMask, const AnsiString& NewComment);

  // ---- Adding from streams and memory (engine/KelAddStream.cpp). Each runs in
  // its own update, committed at once unless the caller holds one. The item
  // is named FileName ("\\" becomes "/"), OnStoreFile and the overwrite mode
  // apply; a skipped name leaves the archive as it is. DateTime 0 is now.
  // Native errors: 13 no archive is open; 52 a multi-volume archive that holds
  // items, outside an update; those of BeginUpdate and of the commit.

  // Without CopyToBuffer the whole of Stream is stored (Position and Count are
  // not used), read when the commit runs: Stream must live until then. With
  // it, Count bytes from Position are copied now into a buffer of the item's.
  void AddFromStream(const UString& FileName, TStream& Stream, bool CopyToBuffer, int64_t Position,
                     int64_t Count, int32_t Attr, TDateTime DateTime);
  void AddFromBuffer(const UString& FileName, const void* Buffer, int32_t Count, int32_t Attr,
                     TDateTime DateTime);
  void AddFromString(const UString& FileName, const UString& Text, int32_t Attr,
                     TDateTime DateTime);
  // ---- Extraction to streams and memory (engine/KelStreams.cpp). The item is
  // found by ItemByName. Native errors: 13 no archive is open; 26 an update is
  // open; 15 no item has that name; those of ExtractItemToStream. Recurse is
  // off while the item is looked for and restored afterwards.

  // Decodes the whole item into Stream from its position, with progress
  // reports (poExtract: overall 0 and ppStart, the decoder's, file 100 and
  // ppEnd, overall 100 and ppEnd).
  void ExtractToStream(const UString& FileName, TStream& Stream);
  // Fills Buffer with the Count decoded bytes from StartPosition on; without
  // progress reports. Raises EReadError when the item has fewer than
  // StartPosition + Count bytes. Count 0 only verifies the item.
  void ExtractToBuffer(const UString& FileName, void* Buffer, int32_t Count, int64_t StartPosition);
  // The whole item as text in the ANSI code page; without progress reports.
  void ExtractToString(const UString& FileName, UString& Text);

  // ---- Whole files (engine/KelSFX.cpp)

  // Appends the whole of InStream (from its start) to the end of OutStream in
  // blocks of 1 MiB; FileName only names it in the progress reports
  // (poMakeSFX, when progress is enabled). False when InStream ended early or
  // OutStream took fewer bytes; true, with FProgressCancel set, when a
  // progress handler cancelled.
  bool FastFileAppend(TStream& OutStream, TStream& InStream, const UString& FileName);
  // Writes SFXFileName: the SFXStub file followed by the archive (the open
  // one, its pending update committed first, or else FileName), with the
  // directory's offsets counting the stub; the archive itself is not
  // changed. Everything is checked before any output exists; the output is
  // written beside SFXFileName and takes its place, executable, only when
  // complete, so a failure or a cancel leaves what was there. Native errors:
  // 17 SFXStub is empty; 18 the stub file is missing; 49 a multi-volume
  // archive; 50 the archive already has bytes in front of its first item;
  // 12 a closed archive whose file is missing; 56 the stub or the archive
  // could not be copied whole; those of reading the directory. Raises
  // Exception when SFXFileName names the stub or the archive file.
  void MakeSFX(const UString& SFXFileName);

  // ---- Checking and repair
  // ---- (engine/KelValidate.cpp)
  // Whether Password opens the item FileName (a mask: the first item found
  // with every attribute): true for an item that is not encrypted; for an
  // encrypted one, when its encryption header accepts Password and the item
  // then decodes and verifies with it. Never asks for a password; progress
  // reports are off and ExtractCorruptedFiles counts as false while it
  // checks; Password is restored afterwards. False for methods other than
  // stored and Deflate and for every error of reading or decoding. Native
  // errors: 13 no archive is open; 42 no item is found.
  bool IsFilePasswordValid(const UString& FileName, const AnsiString& Password);
  // (engine/KelRepair.cpp) Rebuilds FileName, read as far as it can be (its
  // directory rebuilt from the local headers when needed), into
  // OutputFileName, or with an empty one (or FileName's own) into FileName
  // itself. Each item keeps its name, times, attributes and comment. An item
  // that decodes and verifies (or that is encrypted and has no password
  // given) is copied as it is stored; a damaged one is stored anew with what
  // could be decoded of it, through a temporary data file; one that cannot
  // be read at all is left out. The new archive is written beside its place
  // and takes it by one rename once complete and flushed, so a failure or a
  // kill leaves the old file; no temporary file stays. Native errors: 37 an
  // archive is open; 36 the output cannot be created, or FileName, to be
  // replaced, cannot be opened for writing; those of opening FileName.
  // A failing write of the output (a full disk) passes through and changes
  // nothing. ExtractCorruptedFiles and OpenCorruptedArchives are restored.
  void RepairArchive(const UString& OutputFileName);
  // Whether FileName holds a usable archive: true while the archive is open;
  // otherwise true when the file has an end record, or its items can be
  // rebuilt from their local headers and then tested (TestFiles) without an
  // exception. Never raises; the component is left closed, with its
  // SpanningMode and OpenCorruptedArchives as they were.
  bool IsValidArchiveFile();

  // ---- Published properties
  bool ExtractCorruptedFiles() const { return FExtractCorruptedFiles; }
  void SetExtractCorruptedFiles(bool value) { FExtractCorruptedFiles = value; }
  TKelCompressionLevel CompressionLevel() const { return FCompressionLevel; }
  // Also sets CompressionMode (clNone 0, clFastest 1, clNormal 6, clMax 9) and the
  // compression method for new items.
  void SetCompressionLevel(TKelCompressionLevel value);
  uint8_t CompressionMode() const { return FCompressionMode; }
  // Deflate level 0..9; also sets CompressionLevel and the compression method.
  // A value above 9 raises EKelException (native error 5) and changes nothing.
  void SetCompressionMode(uint8_t value);
  // "6.01 " (with the trailing blank) in every locale.
  UString CurrentVersion() const;
  // Has no effect: the version is fixed.
  void SetCurrentVersion(const UString&) {}
  const AnsiString& Password() const { return FPassword; }
  virtual void SetPassword(const AnsiString& Value);
  const UString& FileName() const { return FFileName; }
  void SetFileName(const UString& value) { FFileName = value; }
  const UString& BaseDir() const { return FBaseDir; }
  void SetBaseDir(const UString& value) { FBaseDir = value; }
  // Empty means the system's temporary folder.
  const UString& TempDir() const { return FTempDir; }
  void SetTempDir(const UString& value) { FTempDir = value; }
  TKelSpanningMode SpanningMode() const override { return FSpanningMode; }
  // Raises Exception "Cannot set spanning mode on open archive" while open.
  void SetSpanningMode(TKelSpanningMode value);
  TKelSpanningOptions& SpanningOptions() { return *FSpanningOptions; }
  const TKelSpanningOptions& SpanningOptions() const override { return *FSpanningOptions; }
  void SetSpanningOptions(const TKelSpanningOptions& value) { FSpanningOptions->Assign(value); }
  const UString& SFXStub() const override { return FSFXStub; }
  void SetSFXStub(const UString& value) { FSFXStub = value; }
  TKelOptions& Options() { return *FOptions; }
  const TKelOptions& Options() const { return *FOptions; }
  // Copies through TKelOptions::Assign, so ShareMode keeps its value.
  void SetOptions(const TKelOptions& value) { FOptions->Assign(value); }
  // The setters copy the lines of the given list into the owned list.
  TStringList& FileMasks() { return *FFileMasks; }
  const TStringList& FileMasks() const { return *FFileMasks; }
  void SetFileMasks(const TStringList& value) { FFileMasks->Assign(value); }
  TStringList& ExclusionMasks() { return *FExclusionMasks; }
  const TStringList& ExclusionMasks() const { return *FExclusionMasks; }
  void SetExclusionMasks(const TStringList& value) { FExclusionMasks->Assign(value); }
  TStringList& NoCompressionMasks() { return *FNoCompressionMasks; }
  const TStringList& NoCompressionMasks() const { return *FNoCompressionMasks; }
  void SetNoCompressionMasks(const TStringList& value) { FNoCompressionMasks->Assign(value); }
  bool InMemory() const { return FInMemory; }
  // Closed: only stores the flag; the next opening creates a new, empty archive
  // in memory. Open on a file, true: reopens as a new, empty in-memory archive
  // (the file stays as it was). Open in memory, false: writes the archive to a
  // new file FileName (native error 29 when FileName is empty; on a failed write
  // the in-memory archive stays open), then reopens it from that file.
  void SetInMemory(bool value);

  // ---- Events
  const TKelFileProgressEvent& OnFileProgress() const { return FOnFileProgress; }
  void SetOnFileProgress(TKelFileProgressEvent value) { FOnFileProgress = std::move(value); }
  const TKelOverallProgressEvent& OnOverallProgress() const { return FOnOverallProgress; }
  void SetOnOverallProgress(TKelOverallProgressEvent value) {
    FOnOverallProgress = std::move(value);
  }
  const TKelCopyTempFileProgressEvent& OnCopyTempFileProgress() const {
    return FOnCopyTempFileProgress;
  }
  void SetOnCopyTempFileProgress(TKelCopyTempFileProgressEvent value) {
    FOnCopyTempFileProgress = std::move(value);
  }
  const TKelConfirmOverwriteEvent& OnConfirmOverwrite() const { return FOnConfirmOverwrite; }
  void SetOnConfirmOverwrite(TKelConfirmOverwriteEvent value) {
    FOnConfirmOverwrite = std::move(value);
  }
  const TKelConfirmProcessFileEvent& OnConfirmProcessFile() const { return FOnConfirmProcessFile; }
  void SetOnConfirmProcessFile(TKelConfirmProcessFileEvent value) {
    FOnConfirmProcessFile = std::move(value);
  }
  const TKelNotifyEvent& AfterOpen() const { return FAfterOpen; }
  void SetAfterOpen(TKelNotifyEvent value) { FAfterOpen = std::move(value); }
  const TKelPasswordEvent& OnPassword() const { return FOnPassword; }
  void SetOnPassword(TKelPasswordEvent value) { FOnPassword = std::move(value); }
  const TKelProcessFileFailureEvent& OnProcessFileFailure() const { return FOnProcessFileFailure; }
  void SetOnProcessFileFailure(TKelProcessFileFailureEvent value) {
    FOnProcessFileFailure = std::move(value);
  }
  const TKelRequestBlankVolumeEvent& OnRequestBlankVolume() const { return FOnRequestBlankVolume; }
  void SetOnRequestBlankVolume(TKelRequestBlankVolumeEvent value) {
    FOnRequestBlankVolume = std::move(value);
  }
  const TKelRequestVolumeEvent& OnRequestFirstVolume() const { return FOnRequestFirstVolume; }
  void SetOnRequestFirstVolume(TKelRequestVolumeEvent value) {
    FOnRequestFirstVolume = std::move(value);
  }
  const TKelRequestVolumeEvent& OnRequestLastVolume() const { return FOnRequestLastVolume; }
  void SetOnRequestLastVolume(TKelRequestVolumeEvent value) {
    FOnRequestLastVolume = std::move(value);
  }
  const TKelRequestMiddleVolumeEvent& OnRequestMiddleVolume() const {
    return FOnRequestMiddleVolume;
  }
  void SetOnRequestMiddleVolume(TKelRequestMiddleVolumeEvent value) {
    FOnRequestMiddleVolume = std::move(value);
  }
  const TKelDiskFullEvent& OnDiskFull() const { return FOnDiskFull; }
  void SetOnDiskFull(TKelDiskFullEvent value) { FOnDiskFull = std::move(value); }
  const TKelStoreFileEvent& OnStoreFile() const { return FOnStoreFile; }
  void SetOnStoreFile(TKelStoreFileEvent value) { FOnStoreFile = std::move(value); }
  const TKelExtractFileEvent& OnExtractFile() const { return FOnExtractFile; }
  void SetOnExtractFile(TKelExtractFileEvent value) { FOnExtractFile = std::move(value); }

  // ---- Public properties
  const TKelVolumeNumberInfo& VolumeNumberInfo() const { return *FVolumeNumberInfo; }
  // Size of the archive stream (the whole file with any stub; for a multi-volume
  // archive the volume open now). Raises native error 13 when no archive is open.
  int64_t Size() const;
  // Items that are not folders; a folder item with a hidden, system or label
  // bit counts as a file. Raises native error 13 when no archive is open.
  int32_t FileCount();
  // Whether a file (not a folder) named FileName exists; needs no open archive.
  bool Exists() const;
  bool InUpdate() const { return FUpdateCount > 0; }
  // The last opening of the archive file first rolled back a commit that an
  // earlier run left unfinished.
  bool RolledBackInterruptedCommit() const { return FRolledBackCommit; }
  bool Active() const { return FActive; }
  // True opens with OpenArchive(), false runs CloseArchive(); the current value
  // does nothing.
  void SetActive(bool value);
  // The archive comment; empty when no archive is open.
  AnsiString Comment() const;
  // Outside an update of a one-file archive the comment is written at once, in
  // place of the old directory; inside an update, and for multi-volume
  // archives, with the commit. Native errors: 13 no archive is open; 32 the
  // archive is open read-only; 52 a multi-volume archive that holds items,
  // outside an update. On an error the comment is unchanged.
  void SetComment(const AnsiString& value);
  bool OpenCorruptedArchives() const override { return FOpenCorruptedArchives; }
  void SetOpenCorruptedArchives(bool value) { FOpenCorruptedArchives = value; }

  // ---- Damage that did not stop reading (engine/KelDamage.cpp)
  // How the open archive's directory was read: Rebuilt() when it was rebuilt
  // from the local headers (OpenCorruptedArchives), with the cause and what
  // the reader noticed. Not rebuilt while no archive is open.
  TKelDirRecovery DirRecovery() const;
  // Fired while an item is decoded, for each local record that disagrees
  // with the directory where the directory settles it (DirectorySettles);
  // FileName has disk separators. The item is decoded and verified by the
  // directory's values.
  const TKelLocalRecordWarningEvent& OnLocalRecordWarning() const { return FOnLocalRecordWarning; }
  void SetOnLocalRecordWarning(TKelLocalRecordWarningEvent value) {
    FOnLocalRecordWarning = std::move(value);
  }

  // ---- What the directory manager reaches through TKelArchiveHost
  const TComponent* ArchiverComponent() const override { return this; }
  bool OEMFileNames() const override { return FOptions->OEMFileNames(); }
  TKelVolumeNumberInfo& CurrentVolumeInfo() override { return *FVolumeNumberInfo; }
  TStream* ArchiveStream() override { return FCompressedStream; }
  // Volume operations (engine/KelVolumes.cpp).

  // Reading (with a spanning mode): nothing when Info is the volume open now;
  // otherwise asks for it (DoRequestFirstVolume, DoRequestLastVolume or
  // DoRequestMiddleVolume) until the answer names an existing file, and opens
  // that. A split volume request answered with an empty name opens nothing.
  // Creating (FileOpenMode 0xFF00): asks for a blank volume until its disk has
  // more than 65,536 bytes free (and, spanning, room for the volume size),
  // with DoDiskFull between the attempts, and creates it. Without a spanning
  // mode: opens FileName when no stream is open. Native error 45 when a
  // request or DoDiskFull answers Cancel; stream open errors pass through.
  void OpenVolume(const TKelVolumeNumberInfo& Info) override;
  // Native error 46 when fewer than Count bytes could be written.
  void WriteToVolumesChecked(const void* Data, int32_t Count, TMemoryStream* Buffer,
                             int32_t MinFree, TKelVolumeNumberInfo& Info,
                             TStream*& Stream) override;
  void RenameLastVolume() override;

 protected:
  // ---- Volumes (engine/KelVolumes.cpp)

  // Turns Name, the archive's file name, into the file name of volume
  // VolumeNumber (from 0; -1 for the last) for the current spanning mode:
  // split data.zip has data.Z01, data.Z02, ... and data.zip last (data_001.zip
  // ... with AdvancedNaming); a split self-extractor setup.exe has setup.exe,
  // setup.Z02, ... and setup.ZIP; spanned volumes keep the name (".exe" for a
  // self-extractor; "_001"... with AdvancedNaming). Unchanged without a
  // spanning mode. With CheckExists (spanned volumes only), when the file so
  // named is missing but the other naming variant exists, that one is taken.
  // Where file names have case, a volume file that exists with its extension
  // in other letter case (data.z01, as other tools write it) is taken under
  // its existing name.
  void MakeVolumeFileName(UString& Name, int32_t VolumeNumber, bool CheckExists);
  // Bytes free to this user where FileName is or would be; -1 when unknown.
  int64_t VolumeFreeSpace(const UString& FileName);
  // Replaces the archive stream by a file stream on FileName in FileOpenMode.
  void OpenVolumeFile(const UString& FileName);
  // Writes Count bytes of Data and answers how many were stored. Without a
  // spanning mode they go to Stream (a short count: the medium is full).
  // With one, each volume is filled up to its size limit (GetVolumeSize of
  // Info) and the free space of its disk; then Buffer, when given, goes to
  // the end of Stream, Info moves on to the next number, OpenVolume asks for
  // and creates that volume, and Stream becomes its stream. With a Buffer the
  // bytes collect there instead of in Stream. MinFree -1 lets the write be
  // cut at a volume's end; otherwise Count + MinFree bytes must fit, or the
  // whole write goes to the next volume (an empty volume takes it cut, as no
  // volume could take it whole). Answers short when Room is negative or a
  // new volume takes nothing at all. Errors of OpenVolume (45, 65) and of the
  // streams pass through.
  int64_t WriteToVolumes(const void* Data, int32_t Count, TMemoryStream* Buffer, int32_t MinFree,
                         TKelVolumeNumberInfo& Info, TStream*& Stream);
  // Copies Count bytes (-1: up to its end) of Source from its position into
  // the volumes through WriteToVolumes, in blocks of 1,000,000 bytes, with
  // DoCopyTempFileProgress reports when ShowProgress (0 ppStart, per block
  // ppProcess, 100 ppEnd); a report that sets Cancel stops the copy. Native
  // error 46 when the volumes took fewer bytes than read.
  void CopyToVolumes(TStream& Source, TStream*& Stream, bool ShowProgress, TMemoryStream* Buffer,
                     int32_t MinFree, int64_t Count, bool& Cancel, TKelVolumeNumberInfo& Info);

  // ---- The volumes of a set being written (engine/KelVolumeWrite.cpp). A
  // split volume is written under a hidden name beside its own and gets its
  // name only when the whole set stands (RenameLastVolume), so a set that
  // fails on the way replaces nothing; spanned volumes, one per disk, are
  // written under their names.
  struct TKelNewVolume {
    UString FileName;   // the file written
    UString FinalName;  // the name it gets when the set is complete
  };
  // Creates the file of new volume FinalName (the name its request gave)
  // and makes it the archive stream.
  void CreateVolumeFile(const UString& FinalName);
  // Frees the stream of the volume written now, with Flush after pushing
  // its data to the disk.
  void CloseNewVolume(bool Flush);
  // Cuts the set back to Position in volume Volume: later volumes are
  // deleted and Volume becomes the archive stream again, written from there.
  // Raises EKelException 45 when the volume is on a disk that is gone
  // (spanned), stream errors as they come.
  void RewindVolumes(int32_t Volume, int64_t Position);
  // Deletes the files of a set that was not completed.
  void DiscardNewVolumes();
  // Whether the extension of FileName, lower-cased, contains ".exe".
  static bool IsExeFileName(const UString& FileName);

  // ---- Opening steps (engine/KelOpen.cpp)

  // Opens FileName in FileOpenMode (or makes a new archive) and reads its
  // directory; sets Active and fires AfterOpen.
  void InternalOpen();
  // A new archive: a memory stream (InMemory) or the first volume created,
  // with a directory manager in create state (which copies SFXStub in front).
  void CreateArchiveStream();
  // Opens the last volume and looks for the end record, detecting split and
  // spanned archives from it.
  void OpenPlainArchive();
  // As OpenPlainArchive for a self-extractor; one without an end record of its
  // own is opened through the ".ZIP" last volume of its split set.
  void OpenExeArchive();
  // The spanning mode of the archive whose end record the manager holds.
  void DetectSpanningMode();
  // Rolls back an interrupted commit of FFileName (its journal beside it)
  // before an opening in Mode. Raises EKelInterruptedCommit when Mode cannot
  // write, or the roll-back cannot be completed.
  void FinishInterruptedCommit(uint16_t Mode);
  // Frees the archive stream (unless it is the caller's) and the manager.
  void ReleaseArchive();
  // Whether FileOpenMode (or a caller's stream) lets the archive be written.
  bool ArchiveWritable() const;

  // ---- Item selection (engine/KelSearch.cpp)

  // Tags exactly the items the property-driven search finds.
  void TagItems();
  // Tags exactly the items the argument-driven search finds.
  void TagItems(const UString& FileMask, int32_t SearchAttr, const UString& ExclusionMask);
  // The search step: from F.Handle.ItemNo, the first item that passes.
  bool SearchItem(TKelArchiveItem& F);
  // The index of the first item from From on that Rec selects, or -1.
  int32_t MatchingItem(const TInternalSearchRec& Rec, int32_t From) const;
  bool ItemPassesMasks(int32_t Index, const TInternalSearchRec& Rec) const;
  void FillSearchResult(int32_t Index, TKelArchiveItem& F) const;

  // ---- Item data decoding (engine/KelDecode.cpp, KelDecodeCrypto.cpp)

  // Decodes item Index into Destination from its position. Count 0 and Offset
  // 0: the whole item, verified by its size and CRC-32 (AES items: by their
  // authentication code). Otherwise only the decoded bytes from Offset on
  // (Count of them when Count > 0) are written, and with Count > 0 decoding
  // stops once they exist and nothing is verified; when Offset > 0 and Count
  // > 0 Destination is left at the first of them. Output never goes beyond
  // the item's declared size: more data fails the item. Returns normally when
  // the password question was answered with Skip (nothing written), when
  // decoding was cancelled (FProgressCancel; the output so far stays), and,
  // with ExtractCorruptedFiles, when the item failed (the output so far
  // stays). Raises EKelException: 16 Index outside the items; 55 Deflate64;
  // 8 the data cannot be decoded, ends early, has another size or check
  // value, or the method is unknown, its local header or data descriptor
  // disagrees with the directory, or its data would reach into the directory
  // of a one-file archive; those of OpenVolume. EReadError when the
  // local header cannot be read; errors of Destination and of the disk-full
  // question pass through.
  void ExtractItemToStream(int32_t Index, TStream& Destination, int32_t Count, int64_t Offset);
  // The decoding itself, from the local header at the archive stream's
  // position; false when the item failed or was skipped.
  bool ExtractItemData(TStream& Destination, TDirItem& Item, int32_t Count, int64_t Offset);
  // Reads the local header with its name and extra bytes and compares it with
  // the directory (CheckLocalHeader). Raises EReadError when the 30 fixed
  // bytes are not there; false when the rest is missing, when there is no
  // local header signature, or when they disagree and ExtractCorruptedFiles
  // is off (with it, D.Inconsistent is set and decoding goes on).
  bool ReadLocalHeader(TKelItemDecoding& D);
  // With flag bit 3 in the local header: reads the data descriptor behind the
  // data and tells whether it agrees with the directory. True without the bit.
  bool DataDescriptorAgrees(TKelItemDecoding& D);
  // The password check, then the chunk loop.
  bool DecodeItemData(TKelItemDecoding& D);
  // Decrypts and decodes the N bytes of D's input buffer; false when they do
  // not decode or would make the item larger than declared.
  bool DecodeChunk(TKelItemDecoding& D, int32_t N);
  // Takes inflated pieces until the inflater takes another chunk or, with
  // Drain, until it has handed out everything; stops early on a cancel or a
  // complete range. False as DecodeChunk.
  bool TakeInflated(TKelItemDecoding& D, bool Drain);
  // Reads exactly N bytes, going on to the next volumes of a multi-volume
  // archive (never beyond its last); false when fewer arrive.
  bool ReadAcrossVolumes(TKelItemDecoding& D, uint8_t* Buffer, int32_t N);
  // The archive stream as the decoder sees it: through FReadAhead while an
  // extraction or test of many items runs (FReadAheadOn), else directly.
  bool ReadsAhead() const;
  int64_t ArchivePosition();
  void SeekArchive(int64_t Pos);
  // Up to Count bytes; fewer only at the end of the stream.
  int64_t ReadArchive(uint8_t* Buffer, int64_t Count);
  // The password loop of an encrypted item: true when its data may be
  // decrypted, false when the item is skipped or cannot be checked.
  bool CheckItemPassword(TKelItemDecoding& D);
  // Counts, checksums and writes the wanted part of one piece of output;
  // false when the piece would make the item larger than declared.
  bool TakeDecodedPiece(TKelItemDecoding& D, const uint8_t* Piece, size_t Size);
  // OnFileProgress and OnOverallProgress for the item being decoded (when
  // FProgressEnabled); false when either cancelled.
  bool ReportDecodeProgress(const TDirItem& Item);
  // Writes Count bytes; while Stream takes fewer, asks DoDiskFull (volume -1,
  // FileName) and writes them again from the same position. False, with
  // FProgressCancel set, when the answer is Cancel.
  bool WriteWithRetry(TStream& Stream, const void* Buffer, int32_t Count);
  // The index of the item named FileName (ASCII case ignored), else of the
  // first item the search finds with FileName as mask and every attribute.
  // Native error 15 when there is none.
  int32_t ItemByName(const UString& FileName);

  // ---- Item data encoding (engine/KelStoreData.cpp)

  // Encodes the whole of Source (from position 0 to its size; a negative size
  // counts as its low 32 bits) as Item's data at Destination's position:
  // chunks of CompressionBlockSize(Item.CompressionMode), copied for method 0,
  // else raw Deflate with a sync-flush point after every chunk but the last
  // (the chunks of a larger item deflated side by side on every processor the
  // process may use, each primed with the 32 KiB before it).
  // An item with a Password is encrypted with it: AES (EncryptionMethod
  // caAES_*: salt and verification value, data, authentication code; method
  // 99 in the header, Item.KelEncryptionAlgorithm set) or PKZIP classic (12-byte
  // header); its source is read twice, once for the CRC the header needs.
  // Every data write goes through WriteWithRetry; progress is reported per
  // chunk (FProgressEnabled) and FProcessedFilesSize grows by the source size.
  // True: Item.CentralDir holds the CRC and sizes (0xFFFFFFFF with the values
  // in Item.Zip64ExtInfo and bHugeFile set when they do not fit 32 bits or
  // Zip64Mode is zmAlways); an empty source gets method 0 (as its actual method
  // only, for an AES item, whose header keeps 99). False: cancelled by
  // a progress handler or a refused disk-full retry; the header holds what was
  // done so far. Raises EKelException 34 when Source delivers fewer bytes than
  // its size, 8 when an encrypted item's source changed between its two reads,
  // 41 when Zip64 values are needed and Zip64Mode is zmDisabled;
  // ECompressionError from the compressor (also for a deflated source that came
  // up short after a chunk); EWriteError when an encryption header cannot be
  // written whole; source errors pass through. Item.CentralDir is unchanged
  // when it raises.
  bool StoreItemData(TStream& Source, TStream& Destination, TDirItem& Item);

  // ---- The item driver (engine/KelExtract.cpp)

  // Runs Operation on item Index (which must be tagged), or with Index -1 on
  // every tagged item in directory order, holding the process-wide lock.
  // Extracting and testing report overall progress (0 ppStart, 100 ppEnd) and
  // per item (0 ppStart, 100 ppEnd); a cancel stops after the current item.
  // Each item is confirmed (DoConfirmProcessFile) and its EKelException is
  // answered by DoProcessFileFailure: fxaRetry runs it again from the
  // confirmation, fxaIgnore goes on, fxaAbort stops. A cancel or an abort calls
  // CancelUpdate. An item that stays after poDelete (unconfirmed, or its
  // deletion failed) is passed over. Other errors pass through.
  void ProcessItems(TKelProcessOperation Operation, int32_t Index);
  // Writes item Index below DestDir (ending with PathDelim) under Name (the
  // stored name in disk form, made safe first; an item whose name is empty
  // then is skipped): OnExtractFile, folders, the overwrite mode and
  // ReplaceReadOnly, then the data, its time and (SetAttributes) attributes.
  // The overwrite question's Confirm starts false. A full path from the
  // handler is used whole also without CreateDirs.
  // Native errors: 20 a folder cannot be created or is reached through a link
  // (argument: the folder); 19 the file cannot be replaced or created or is a
  // link (argument: the path); those of ExtractItemToStream. The output of a
  // failed, skipped or cancelled item is deleted before any error passes on.
  void ExtractItemToFile(int32_t Index, const UString& Name, const UString& DestDir);
  // What ExtractItemToFile settled for one item before its file is opened.
  struct TKelFileTarget {
    UString FileName;  // safe, relative unless the handler gave a full path
    UString DestDir;   // empty for the handler's full path
    UString Folder;    // DestDir + the folder part of FileName
    UString DestPath;
    bool FullPath = false;
    bool IsFolderItem = false;
    bool IsLink = false;
    uint16_t MadeBy = 0;
    uint32_t FileAttr = 0;  // as the handler left it
    int32_t ItemTime = 0;   // DOS date-time
    std::optional<int64_t> UnixTime;
  };
  // The checks of the destination, folders, overwrite rules and links; the
  // new file, or nullptr when nothing is to be written (a folder, a link, an
  // item the rules skip). Errors as ExtractItemToFile; new entries in
  // FSafeFolders. The overwrite question may change Target's name and path.
  std::unique_ptr<TFileStream> OpenFileTarget(int32_t Index, TKelFileTarget& Target);
  // Decodes into File, then its time and attributes; a flush when the drive
  // is removable (Removable: known from the folder, else asked of the file).
  // The output of a failed, skipped or cancelled item is deleted.
  void WriteFileTarget(int32_t Index, const TKelFileTarget& Target,
                       std::unique_ptr<TFileStream> File, std::optional<bool> Removable);
  struct TReadRun;
  // Creates the symbolic link that item Index holds (its data is the target) at
  // DestPath, replacing what is there when Exists, with the last-write time
  // Time (seconds since 1970 UTC). Native error 19 (argument: DestPath) when the
  // target is too long, would lead outside the folder Root (the message names
  // the target), or the link cannot be created; those of ExtractItemToStream.
  // Nothing is created for a skipped or cancelled item.
  // (engine/KelUnixMeta.cpp)
  void ExtractLinkItem(int32_t Index, const UString& DestPath, const UString& Root, bool Exists,
                       std::optional<int64_t> Time);
  // Decodes and verifies item Index into nothing; folder items are not
  // decoded, nor items that the threads verifying ahead found sound.
  void TestItem(int32_t Index);
  // The threads that verify the larger tagged items of a one-file archive
  // ahead of TestItem, or nullptr where they would not pay.
  // (engine/KelTestAhead.cpp)
  std::unique_ptr<TKelVerifyAhead> StartTestAhead();
  // Whether FTestAhead found item Index sound, after queueing the tagged items
  // up to a window after it; its progress is then reported as if decoded.
  bool TestedAhead(int32_t Index);
  // Removes item Index from the directory (written on commit). Native errors:
  // 21 Index outside the items; 22 no update is open.
  void DeleteTaggedItem(int32_t Index);
  // Sets item Index up again from the file Name below BaseDir.
  void UpdateTaggedItem(int32_t Index, const UString& Name, const UString& BaseDir);

  // ---- Committing (engine/KelUpdate.cpp, KelStoreItem.cpp)

  // Writes the changes of the update (see BeginUpdate): items before the first
  // change stay untouched; from there on each item is stored anew (new and
  // changed ones, StoreItem) or copied from the saved tail (CopyItem); then the
  // directory. An item's engine error becomes the failure question (retry,
  // ignore: the old version stays or a new item is dropped, abort); an abort,
  // a cancel before the directory is written, or any other error rolls back,
  // leaving the archive byte for byte as it was (other errors pass on).
  void CommitUpdate();
  // Puts the archive back as it was when the commit began: the directory in
  // memory becomes the roll-back copy; the archive is cut where the commit cut
  // it and the saved bytes are copied back.
  void Rollback();
  // Steps of the commit. SaveArchiveTail copies the archive from the cut to
  // its end into the tail file and, for an archive file, flushes it and writes
  // the journal; on failure nothing of it stays. DiscardSavedTail removes the
  // journal, then the tail file. RewriteItems stores or copies every item from
  // the start; false on an abort. RemoveMovedSources deletes the sources of
  // moved items (files, then folders); false on an abort.
  void SaveArchiveTail();
  void DiscardSavedTail();
  bool RewriteItems();
  // Item Index, renamed and then replaced in this update, whose new version
  // failed: its old version under the new name.
  void KeepRenamedOldVersion(int32_t Index);
  bool RemoveMovedSources();
  // The first index at which the directory and its roll-back copy hold
  // different names or the item is modified; the smaller count when none.
  int32_t FirstChangedIndex() const;
  // A new, empty file with the prefix "FC" in TempDir (the system's temporary
  // folder when empty). Native error 9 when it cannot be created.
  UString MakeTempFileName();
  // Stores new or changed item Index at the archive's position; false when it
  // was not stored (cancelled, or its failure was answered with Ignore);
  // FCommit->Result holds the answer (fxaRetry, fxaIgnore, fxaAbort).
  // Native errors (through the failure question): 61 a source path longer
  // than the platform allows; 33 the source cannot be opened; 43 a source of
  // 4 GiB or more while Zip64Mode is zmDisabled; those of StoreItemData.
  bool StoreItem(int32_t Index);
  // The items from Index on that are files of one chunk or less, to be
  // deflated ahead of the writer (KelCompressAhead.h); none on one processor.
  std::vector<TAheadJob> AheadJobs(int32_t Index);
  // Lays an item coded into Staged (its local header, HeaderLen bytes, and
  // its data) into the volumes: the header whole on one volume, whose number
  // and position become the item's; the rest with copy progress reports.
  // False when a report cancelled.
  bool LayIntoVolumes(TStream& Staged, int64_t HeaderLen, TDirItem& Item, bool Zip64Always);
  // Copies kept item Index from the saved tail to the archive's position,
  // with a new local header when it was renamed. Native error 7 when the item
  // has no old version in the saved tail.
  void CopyItem(int32_t Index);

  // Writes item Item (its name, settings and extra fields as set) with Source
  // as its data (none for a folder) at Out's position: local header, data,
  // central values. False when storing the data was cancelled or a disk-full
  // retry refused. Raises as StoreItemData, and 43 when the item needs Zip64
  // while Zip64Mode is zmDisabled. HeaderLength, when given, receives the
  // local header's length.
  bool WriteNewItem(TDirItem& Item, TStream* Source, TStream& Out, int64_t* HeaderLength = nullptr);

  // ---- Whole files and merging (engine/KelSFX.cpp, KelMerge.cpp)

  // Copies Count bytes from In's position to Out's position in 1 MiB blocks,
  // with file and overall reports for Operation when FProgressEnabled. False
  // when In ends early or Out takes fewer bytes; true on success and on a
  // cancel (FProgressCancel is then set).
  bool CopyBlocks(TStream& Out, TStream& In, int64_t Count, const UString& FileName,
                  TKelProcessOperation Operation);
  // Adds the items of Other to the directory as copies whose data stands at
  // Base on: a name this archive already has is replaced only as the
  // overwrite mode (or the question) says.
  void PlanMerge(const TKelDirManager& Other, const UString& OtherFileName, uint64_t Base);
  bool TakesMergedItem(const TDirItem& Here, const TDirItem& Other, const UString& OtherFileName);

  // ---- Repair (engine/KelRepair.cpp)

  // Puts item Index of the open archive into Out (its directory OutDir):
  // copied as stored when it verifies, else stored anew from what Data
  // receives of it. Verdict: what is already known of its stored form. False
  // when it is left out.
  bool RepairItem(int32_t Index, TStream& Out, TKelDirManager& OutDir, TFileStream& Data,
                  TKelVerdict Verdict);
  // Copies item Index as stored (local header, data, data descriptor) to Out.
  void CopyStoredItem(const TDirItem& Item, TStream& Out);

  // ---- Gathering files (engine/KelAddFiles.cpp)

  // A mask as a path to search; Relative: it was resolved against the current
  // folder (FCurrentDir, which is BaseDir while gathering).
  struct TKelResolvedMask {
    UString Path;
    bool Relative = false;
  };
  struct TKelGathering {
    int32_t SearchAttr = 0;
    std::vector<UString> Exclusions;
    bool Moving = false;
    // Folders the search of one mask entered (device, inode): a followed link
    // back to one of them is not entered again.
    std::set<std::pair<uint64_t, uint64_t>> Entered;
    // What the archive's file and its current volume are: never added.
    std::vector<TFileId> Archive;
  };
  TKelResolvedMask ResolveMask(const UString& Mask) const;
  // Whether the found Path (a folder when IsFolder) matches an exclusion or
  // no-compression Mask: "*.*" everything; a relative mask the path relative
  // to the current folder (its name alone for a mask without a folder) or to
  // BaseDir; an absolute one the path in the mask's folder, and with "*.*"
  // anything below it.
  bool PathMatchesMask(const UString& Path, const UString& Mask, bool IsFolder) const;
  void AddOrMoveFiles(const std::vector<UString>& Masks, int32_t SearchAttr,
                      const std::vector<UString>& Exclusions, bool Moving, bool CheckVolumes);
  // Holds the process-wide lock, with the current folder at BaseDir.
  void GatherFiles(const std::vector<UString>& Masks, int32_t SearchAttr,
                   const std::vector<UString>& Exclusions, bool Moving);
  // Searches the folder of Path for its name part (a file mask), then its
  // subfolders as the search attributes and Recurse say. A link to a folder
  // is stored as a link, unless Options().FollowLinks(); a followed one that
  // leads back to a folder of the search is not entered.
  void SearchMask(TKelGathering& g, const UString& Path, const UString& Mask, bool Recurse);
  bool Excluded(const TKelGathering& g, const UString& Path, bool IsFolder) const;
  // False when the search already entered Folder (by identity).
  bool EnterOnce(TKelGathering& g, const UString& Folder);
  // Makes an item of a found file or folder (Path ends with PathDelim for a
  // folder) unless it is excluded, the archive itself, or not confirmed.
  // True when the item was made, and for a folder whose item of the same name
  // is kept (the search goes on below it).
  bool TakeFound(TKelGathering& g, const UString& Path, bool IsFolder);

  // ---- Changing items (engine/KelChange.cpp)

  // Deletes the tagged items in an update of its own; nothing when none is
  // tagged.
  void DeleteTaggedItems();
  // The items RenameFile renames, with their new names; raises as RenameFile.
  std::vector<std::pair<int32_t, UString>> PlanRename(const UString& OldName,
                                                      const UString& NewName);
  // Gives item Index the name NewName inside the open update: OldName keeps
  // the name of the first rename of the update, a Unicode name field follows,
  // and the item is marked poRename unless it has a pending change that
  // stores it anew.
  void RenameItem(int32_t Index, const UString& NewName);
  // The fields of Item that follow its name: length, UTF-8 flag, Unicode name field.
  static void SetNameFields(TDirItem& Item, const UString& Name);
  // Applies Change to every item FileMask finds (every attribute), in an update
  // of its own; an item without a pending change is marked with the operation
  // Change returns. NotFoundError when nothing is found.
  void ChangeFoundItems(const UString& FileMask, int NotFoundError,
                        const std::function<TKelProcessOperation(TDirItem&)>& Change);

  // ---- New items (engine/KelAddStream.cpp)

  // Turns one source into an item: a new one at the end, or an existing one of
  // the same name marked for replacement (by the overwrite mode). Returns its
  // index, -1 when it is skipped. Source is the stored name for a stream
  // (FromDisk false: Attr and DateTime as given).
  int32_t AddOneFile(const UString& Source, const UString& Base, TDateTime DateTime, int32_t Attr,
                     bool FromDisk);
  // The same for a disk source whose entry the search has read already, so
  // that it is not asked about again.
  int32_t AddOneFile(const UString& Source, const UString& Base, TDateTime DateTime, int32_t Attr,
                     bool FromDisk, const TDiskEntry* Known);
  // The add-from-stream step: Stream is the caller's, or with Owns the item's
  // (freed on every path when no item takes it).
  void AddStreamItem(const UString& FileName, TStream* Stream, bool Owns, bool CopyToBuffer,
                     int64_t Position, int64_t Count, int32_t Attr, TDateTime DateTime);
  // Fills item Index as a new item of the current settings. Native errors: 24
  // Index outside the items; 25 no update is open.
  void InitNewItem(int32_t Index, const UString& StoredName, const UString& SrcFileName,
                   int32_t Attr, int32_t DosDateTime, uint64_t Size);

  // ---- Overridable operations, in slot order after SetPassword.

  // Sets FCompressionMethod for new items after the level or mode changed; the
  // base has no ZIP method (0xFFFF).
  virtual void UpdateCompressionMethod();
  // Without a handler each progress report clears Cancel.
  virtual void DoOverallProgress(double Progress, TKelProcessOperation Operation,
                                 TKelProgressPhase ProgressPhase, bool& Cancel);
  // The handler sees FileName with disk separators.
  virtual void DoFileProgress(const UString& FileName, double Progress,
                              TKelProcessOperation Operation, TKelProgressPhase ProgressPhase,
                              bool& Cancel);
  // Clears Cancel, then fires.
  virtual void DoCopyTempFileProgress(double Progress, TKelProgressPhase ProgressPhase,
                                      bool& Cancel);
  virtual void DoConfirmOverwrite(const UString& SourceFileName, UString& DestFileName,
                                  bool& Confirm);
  // Confirm starts true.
  virtual void DoConfirmProcessFile(const UString& FileName, TKelProcessOperation Operation,
                                    bool& Confirm);
  virtual void DoPassword(const UString& FileName, AnsiString& NewPassword, bool& SkipFile);
  // Action starts as fxaIgnore.
  virtual void DoProcessFileFailure(const UString& FileName, TKelProcessOperation Operation,
                                    int32_t NativeError, int32_t ErrorCode,
                                    const UString& ErrorMessage, TKelAction& Action);
  // The volume requests and DoDiskFull clear Cancel first; handlers receive
  // volume numbers counted from 1. The requests first turn VolumeFileName into
  // the name of the volume asked for (MakeVolumeFileName).
  virtual void DoRequestBlankVolume(int32_t VolumeNumber, UString& VolumeFileName, bool& Cancel);
  virtual void DoRequestFirstVolume(UString& VolumeFileName, bool& Cancel);
  virtual void DoRequestLastVolume(UString& VolumeFileName, bool& Cancel);
  virtual void DoRequestMiddleVolume(int32_t VolumeNumber, UString& VolumeFileName, bool& Cancel);
  virtual void DoDiskFull(int32_t VolumeNumber, const UString& VolumeFileName, bool& Cancel);
  // Fires the event that has no property; nothing in the engine calls it.
  virtual void DoProcessVolumeFailure(TKelProcessOperation Operation, int32_t VolumeNumber,
                                      const UString& VolumeFileName, bool& Cancel);
  // The handler sees and returns FileName with disk separators; FileName comes
  // back with "/" whatever the handler returned.
  virtual void DoStoreFile(UString& FileName, int32_t& FileAttr, AnsiString& Comment,
                           const UString& OriginalFileName);
  // FileName gets disk separators whether or not a handler is assigned.
  virtual void DoExtractFile(UString& FileName, uint32_t& FileAttr, const AnsiString& Comment);

  // Answers given when no handler is assigned (engine/KelDefaultHandlers.cpp):
  // confirmation boxes (question icon, title "Confirm") and the password dialog
  // of the current dialog provider, on the calling thread. Provider exceptions
  // pass through.

  // "Overwrite file "<dest>" with "<source>"" with Yes (default), No, No to All,
  // Yes to All. Confirm is true for Yes and Yes to All; No to All and Yes to All
  // also set Options().OverwriteMode() to omNever and omAlways.
  virtual void DefaultConfirmOverwrite(const UString& SourceFileName, UString& DestFileName,
                                       bool& Confirm);
  // PasswordInputQuery titled "Password for "<FileName>"", prompt "Enter
  // password: ", starting empty. OK: NewPassword becomes the text in the ANSI
  // code page, SkipFile false. Cancel: NewPassword unchanged, SkipFile true.
  virtual void DefaultPassword(const UString& FileName, AnsiString& NewPassword, bool& SkipFile);
  // Native error 45: fxaAbort without a question. 61: ErrorMessage with Abort and
  // Ignore (default). Others: "<ErrorMessage>. File processing error, possibly
  // disk is full" with Abort, Retry (default), Ignore. Retry gives fxaRetry,
  // Ignore fxaIgnore, anything else fxaAbort.
  virtual void DefaultProcessFileFailure(const UString& FileName, TKelProcessOperation Operation,
                                         int32_t NativeError, int32_t ErrorCode,
                                         const UString& ErrorMessage, TKelAction& Action);
  // The volume requests: Cancel comes in false. Spanned archives ask for the
  // disk with OK (default) and Cancel, and Cancel becomes true unless OK was
  // pressed; split archives ask nothing. Blank and last get VolumeFileName as
  // the volume's name; first and middle get the archive's name and name the
  // volume themselves, as the naming variant on the inserted disk may differ.
  // Blank: "Please insert a blank disk #<n>" (n from 1); split: stays false.
  virtual void DefaultRequestBlankVolume(int32_t VolumeNumber, UString& VolumeFileName,
                                         bool& Cancel);
  // "Please insert the first disk"; split: Cancel unless the volume file exists
  // or the archive is being created.
  virtual void DefaultRequestFirstVolume(UString& VolumeFileName, bool& Cancel);
  // "Please insert the last disk", then "File '<name>' not found on inserted
  // disk. Please insert last disk with required file" until the file exists or
  // the answer is not OK; split: Cancel unless the file exists.
  virtual void DefaultRequestLastVolume(UString& VolumeFileName, bool& Cancel);
  // "Please insert disk #<n>" (n from 1); split: Cancel unless the file exists.
  virtual void DefaultRequestMiddleVolume(int32_t VolumeNumber, UString& VolumeFileName,
                                          bool& Cancel);
  // Not spanned: raises EKelException, native error 65. Spanned: "Disk is full.
  // Required free space: <r> bytes, but available only: <a> bytes. Clean the
  // disk or find another blank disk" with OK and Cancel; r is the volume's size
  // limit, and at least the 65,537 bytes any volume needs.
  virtual void DefaultDiskFull(int32_t VolumeNumber, const UString& VolumeFileName, bool& Cancel);

  // Fires OnLocalRecordWarning when assigned; FileName is the stored name.
  virtual void DoLocalRecordWarning(const UString& FileName, TKelLocalRecord Record,
                                    TKelLocalMismatch Mismatch);
  TKelLocalRecordWarningEvent FOnLocalRecordWarning;

  // Fires AfterOpen when assigned.
  void DoAfterOpen();
  // Raises native error 13 unless an archive is open.
  void CheckActive() const;

  // ---- Fields
  UString FCurrentDir;  // fetched on first need, then kept
  int32_t FUpdateCount = 0;
  bool FActive = false;
  bool isZIPFormat = false;
  bool IsCustomStream = false;  // the archive stream is the caller's: never freed here
  UString FFileName;
  UString VolumeFileName;
  std::unique_ptr<TKelVolumeNumberInfo> FVolumeNumberInfo;
  uint16_t FileOpenMode = 0;
  UString FTempDir;
  UString FBaseDir;
  UString FSFXStub;
  std::unique_ptr<TKelOptions> FOptions;
  std::unique_ptr<TStringList> FFileMasks;
  std::unique_ptr<TStringList> FExclusionMasks;
  std::unique_ptr<TStringList> FNoCompressionMasks;
  bool FInMemory = false;
  int32_t FProcessedFileNo = 0;
  int32_t FProcessedFileCount = 0;
  int64_t FProcessedFilesTotalSize = 0;
  int64_t FProcessedFilesSize = 0;
  bool FProgressCancel = false;
  bool FProgressEnabled = false;
  bool FSkipFile = false;
  TKelSpanningMode FSpanningMode = smNone;
  std::unique_ptr<TKelSpanningOptions> FSpanningOptions;
  bool FExtractCorruptedFiles = false;
  bool FOpenCorruptedArchives = true;
  bool FUnicodeFilenames = false;
  int64_t FProgress = 0;
  int64_t FProgressMax = 0;
  TKelFileProgressEvent FOnFileProgress;
  TKelOverallProgressEvent FOnOverallProgress;
  TKelCopyTempFileProgressEvent FOnCopyTempFileProgress;
  TKelConfirmOverwriteEvent FOnConfirmOverwrite;
  TKelConfirmProcessFileEvent FOnConfirmProcessFile;
  TKelNotifyEvent FAfterOpen;
  TKelPasswordEvent FOnPassword;
  TKelProcessFileFailureEvent FOnProcessFileFailure;
  TKelRequestVolumeEvent FOnRequestFirstVolume;
  TKelRequestVolumeEvent FOnRequestLastVolume;
  TKelRequestMiddleVolumeEvent FOnRequestMiddleVolume;
  TKelRequestBlankVolumeEvent FOnRequestBlankVolume;
  TKelDiskFullEvent FOnDiskFull;
  TKelProcessVolumeFailureEvent FOnProcessVolumeFailure;  // no property
  TKelStoreFileEvent FOnStoreFile;
  TKelExtractFileEvent FOnExtractFile;
  bool FSuppressPasswordEvent = false;
  bool FUpdated = false;
  TKelDirManager* DMHandle = nullptr;  // owned while an archive is open
  uint16_t FCompressionMethod = 0;
  TKelCompressionAlgorithm FCompressionAlgorithm = caZLIB;
  TKelCryptoAlgorithm FKelCryptoAlgorithm = caPkzipClassic;
  uint8_t FCompressionMode = 0;
  TKelCompressionLevel FCompressionLevel = clNone;
  AnsiString FPassword;
  TStream* FCompressedStream = nullptr;  // owned unless IsCustomStream
  // Small items read in one go while ProcessItems extracts or tests; dropped
  // whenever the archive stream is replaced.
  TKelReadAhead FReadAhead;
  bool FReadAheadOn = false;
  // While ProcessItems tests: the threads verifying ahead.
  TKelVerifyAhead* FTestAhead = nullptr;
  // The last item's inflater, reset for the next: small items then cost no
  // zlib set-up and no fresh buffers.
  std::unique_ptr<TKelInflater> FSpareInflater;
  // Folders that ExtractItemToFile found (or made) as real folders, not links,
  // during the running extraction, with whether they lie on a removable
  // drive: the next files in them are created without looking again.
  std::unordered_map<UString, bool> FSafeFolders;
  TZip64Mode FZip64Mode = zmAuto;
  std::unique_ptr<TKelCommitState> FCommit;  // while a commit runs
  std::vector<TKelNewVolume> FNewVolumes;    // while a set is written, by number
  bool FRolledBackCommit = false;
};

// The ZIP archiver.
class TKelvane : public TKelBaseArchiver {
 public:
  explicit TKelvane(TComponent* AOwner);
  const char* ClassName() const override { return "TKelvane"; }

  // (engine/KelMerge.cpp) Appends the items of the archive file
  // ArchiveFileName (opened read-only; it may be this archive's own file, and
  // may have a stub) to the open archive: its item data is copied as it is,
  // and each of its items joins the directory, pointing at its copied local
  // header. A name this archive has already is decided by
  // Options().OverwriteMode() (omPrompt: DoConfirmOverwrite with both paths;
  // omIfNewer / omIfOlder: by DOS date-time); the data of an item not taken
  // stays unused in the file. Runs as a commit: a failure, a kill or a
  // cancel leaves the archive as it was. Native errors: 13 no archive is
  // open; 26 an update is open; 32 the archive is open read-only; 52 the
  // archive has volumes; those of opening ArchiveFileName. Raises Exception
  // for a multi-volume ArchiveFileName, EWriteError when the copy fails.
  void MergeWith(const UString& ArchiveFileName);

  void SetPassword(const AnsiString& Value) override;

  // ---- Published properties
  TZip64Mode Zip64Mode() const { return FZip64Mode; }
  void SetZip64Mode(TZip64Mode value) { FZip64Mode = value; }
  bool UnicodeFilenames() const { return FUnicodeFilenames; }
  void SetUnicodeFilenames(bool value) { FUnicodeFilenames = value; }
  TKelCryptoAlgorithm EncryptionMethod() const { return FKelCryptoAlgorithm; }
  void SetEncryptionMethod(TKelCryptoAlgorithm value) { FKelCryptoAlgorithm = value; }

 protected:
  // Deflate (8) unless CompressionMode is 0, then stored (0).
  void UpdateCompressionMethod() override;
};

}  // namespace kelvane
