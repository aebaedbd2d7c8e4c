#include "engine/KelCommitJournal.h"

#include <algorithm>
#include <memory>

#include "coding/KelCrc32.h"
#include "container/KelByteIO.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr uint8_t kMagic[8] = {'K', 'E', 'L', 'V', 'J', 'N', 'L', '1'};
// A journal names one file; anything larger is not ours.
constexpr int64_t kMaxJournalSize = 64 * 1024;
constexpr int64_t kCopyBlock = 1 << 20;

uint32_t Crc32Of(const TBytes& bytes, size_t count) {
  uint32_t crc = Crc32Initial;
  UpdateCrc32(crc, bytes.data(), static_cast<int32_t>(count));
  return ~crc;
}

// Makes a name created or removed in Path's folder durable.
bool FlushFolderOf(const UString& path) {
  UString folder = DirectoryPart(FullPath(path));
  return FlushFile(folder.empty() ? UString(1, PathDelim) : folder);
}

[[noreturn]] void CannotRollBack(const UString& archive, const UString& tail) {
  throw EKelInterruptedCommit(u"An interrupted update of \"" + archive +
                              u"\" cannot be rolled back: the data it saved in \"" + tail +
                              u"\" is missing or damaged");
}

}  // namespace

UString CommitJournalName(const UString& ArchiveFileName) {
  return ArchiveFileName + u"-journal";
}

UString CommitTailName(const UString& ArchiveFileName) {
  return ArchiveFileName + u"-tail";
}

void WriteCommitJournal(const UString& ArchiveFileName, const TKelCommitJournal& Journal) {
  TBytes bytes;
  TKelByteWriter out(bytes);
  out.Bytes(kMagic);
  out.U64(static_cast<uint64_t>(Journal.ArchiveSize));
  out.U64(static_cast<uint64_t>(Journal.CutPos));
  out.U32(Journal.TailCrc);
  const std::string tail = ToUtf8(Journal.TailFileName);
  out.U32(static_cast<uint32_t>(tail.size()));
  out.Bytes(std::span(reinterpret_cast<const uint8_t*>(tail.data()), tail.size()));
  out.U32(Crc32Of(bytes, bytes.size()));

  const UString name = CommitJournalName(ArchiveFileName);
  try {
    TFileStream file(name, fmCreate);
    CommitWrite(file, bytes.data(), static_cast<int64_t>(bytes.size()));
    if (!file.Flush()) throw EWriteError(u"Cannot flush \"" + name + u"\" to the disk");
    // Without its name on the disk, the journal could be gone after a power
    // loss while the archive is cut.
    if (!FlushFolderOf(name))
      throw EWriteError(u"Cannot flush the folder of \"" + name + u"\" to the disk");
  } catch (...) {
    RemoveFile(name);
    throw;
  }
}

TKelJournalState ReadCommitJournal(const UString& ArchiveFileName, TKelCommitJournal& Journal) {
  const UString name = CommitJournalName(ArchiveFileName);
  if (!IsFile(name)) return jsNone;
  TBytes bytes;
  try {
    TFileStream file(name, fmOpenRead | fmShareDenyNone);
    const int64_t size = std::min(file.Size(), kMaxJournalSize);
    bytes.resize(static_cast<size_t>(size));
    bytes.resize(static_cast<size_t>(file.Read(bytes.data(), size)));
  } catch (const EStreamError&) {
    return jsIncomplete;
  }
  if (bytes.size() < sizeof kMagic + 4 ||
      !std::equal(kMagic, kMagic + sizeof kMagic, bytes.begin()))
    return jsIncomplete;
  TKelByteReader in(bytes);
  in.Skip(sizeof kMagic);
  TKelCommitJournal j;
  j.ArchiveSize = static_cast<int64_t>(in.U64());
  j.CutPos = static_cast<int64_t>(in.U64());
  j.TailCrc = in.U32();
  const uint32_t tailLength = in.U32();
  if (!in.CanRead(size_t{tailLength} + 4)) return jsIncomplete;
  const std::span<const uint8_t> tail = in.Bytes(tailLength);
  const size_t checked = in.Position();
  if (in.U32() != Crc32Of(bytes, checked) || in.Remaining() != 0) return jsIncomplete;
  if (j.CutPos < 0 || j.ArchiveSize < j.CutPos) return jsIncomplete;
  j.TailFileName =
      FromUtf8(std::string_view(reinterpret_cast<const char*>(tail.data()), tail.size()));
  Journal = j;
  return jsComplete;
}

bool RemoveCommitJournal(const UString& ArchiveFileName) {
  const UString name = CommitJournalName(ArchiveFileName);
  if (!RemoveFile(name) && IsFile(name)) return false;
  FlushFolderOf(name);
  return true;
}

void RemoveOrphanedCommitTail(const UString& ArchiveFileName) {
  const UString tail = CommitTailName(ArchiveFileName);
  if (!IsFile(tail) || IsFile(CommitJournalName(ArchiveFileName))) return;
  try {
    // A commit in progress holds the archive: then this fails.
    const TFileStream archive(ArchiveFileName, fmOpenReadWrite | fmShareExclusive);
    RemoveFile(tail);
  } catch (const EStreamError&) {
  }
}

void RaiseDiskFull(TStream& Stream) {
  auto* file = dynamic_cast<TFileStream*>(&Stream);
  if (!file)
    throw EWriteError(u"Cannot write to the archive's stream: it took only part of the data");
  throw EWriteError(u"Cannot write \"" + file->FileName() + u"\": the disk is full");
}

void CommitWrite(TStream& Stream, const void* Buffer, int64_t Count) {
  const auto* p = static_cast<const uint8_t*>(Buffer);
  while (Count > 0) {
    const int64_t n = Stream.Write(p, Count);
    if (n <= 0) RaiseDiskFull(Stream);
    p += n;
    Count -= n;
  }
}

void CommitCopy(TStream& Stream, TStream& Source, int64_t Count) {
  TBytes buffer(static_cast<size_t>(std::clamp<int64_t>(Count, 1, kCopyBlock)));
  while (Count > 0) {
    const int64_t n = std::min<int64_t>(Count, static_cast<int64_t>(buffer.size()));
    Source.ReadBuffer(buffer.data(), n);
    CommitWrite(Stream, buffer.data(), n);
    Count -= n;
  }
}

uint32_t StreamCrc32(TStream& Source, int64_t Count) {
  TBytes buffer(static_cast<size_t>(std::clamp<int64_t>(Count, 1, kCopyBlock)));
  uint32_t crc = Crc32Initial;
  while (Count > 0) {
    const int64_t n = std::min<int64_t>(Count, static_cast<int64_t>(buffer.size()));
    Source.ReadBuffer(buffer.data(), n);
    UpdateCrc32(crc, buffer.data(), static_cast<int32_t>(n));
    Count -= n;
  }
  return ~crc;
}

void RestoreArchiveTail(TStream& Archive, TStream& Tail, const TKelCommitJournal& Journal) {
  Archive.SetSize(Journal.CutPos);
  Archive.SetPosition(Journal.CutPos);
  Tail.SetPosition(0);
  const int64_t count = Journal.ArchiveSize - Journal.CutPos;
  if (count > 0) CommitCopy(Archive, Tail, count);
  Archive.SetSize(Journal.ArchiveSize);
  if (auto* file = dynamic_cast<TFileStream*>(&Archive); file && !file->Flush())
    throw EWriteError(u"Cannot flush \"" + file->FileName() + u"\" to the disk");
}

bool RollBackInterruptedCommit(const UString& ArchiveFileName) {
  TKelCommitJournal journal;
  const TKelJournalState state = ReadCommitJournal(ArchiveFileName, journal);
  if (state == jsNone) return false;
  const UString tailName =
      state == jsComplete ? journal.TailFileName : CommitTailName(ArchiveFileName);
  if (!IsFile(ArchiveFileName)) {
    // The user removed the archive since: there is nothing to restore.
    RemoveFile(tailName);
    RemoveCommitJournal(ArchiveFileName);
    return false;
  }
  {
    // Held alone throughout: a commit in progress holds the archive, and its
    // journal and tail file are not ours to undo or remove (this raises then).
    TFileStream archive(ArchiveFileName, fmOpenReadWrite | fmShareExclusive);
    if (state == jsComplete) {
      std::unique_ptr<TFileStream> tail;
      try {
        tail = std::make_unique<TFileStream>(tailName, fmOpenRead | fmShareDenyWrite);
      } catch (const EStreamError&) {
        CannotRollBack(ArchiveFileName, tailName);
      }
      const int64_t saved = journal.ArchiveSize - journal.CutPos;
      if (tail->Size() != saved || StreamCrc32(*tail, saved) != journal.TailCrc ||
          archive.Size() < journal.CutPos)
        CannotRollBack(ArchiveFileName, tailName);
      RestoreArchiveTail(archive, *tail, journal);
    }
    // An incomplete journal was written last before the cut: the archive was
    // never touched. The journal goes first: a tail file without a journal is
    // never read.
    if (!RemoveCommitJournal(ArchiveFileName))
      throw EWriteError(u"Cannot remove \"" + CommitJournalName(ArchiveFileName) + u"\"");
    RemoveFile(tailName);
  }
  return state == jsComplete;
}

}  // namespace kelvane
