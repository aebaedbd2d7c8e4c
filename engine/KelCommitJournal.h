// The journal of a commit in progress.
//
// A commit rewrites the archive in place from its first changed item on. Before
// the archive is cut, the bytes from the cut to the end are saved to a tail
// file and flushed, then this journal is written and flushed beside the archive
// (found from the archive's path alone). Only then is the archive touched. The
// journal goes once the new archive is complete and flushed. Whoever finds a
// complete journal next puts the saved bytes back, so an interrupted commit
// leaves exactly the old archive; a journal that is not complete was never
// acted on and is simply removed.
#pragma once

#include "platform/Stream.h"
#include "platform/Types.h"

namespace kelvane {

struct TKelCommitJournal {
  int64_t ArchiveSize = 0;  // the archive's size before the commit
  int64_t CutPos = 0;       // where the commit cut it
  UString TailFileName;     // holds the archive's bytes from CutPos to ArchiveSize
  uint32_t TailCrc = 0;     // CRC-32 of those bytes
};

enum TKelJournalState : uint8_t { jsNone, jsIncomplete, jsComplete };

// "<archive>-journal", beside the archive.
UString CommitJournalName(const UString& ArchiveFileName);
// "<archive>-tail": where the saved bytes go unless a temporary folder is set.
// Beside the archive they survive a power loss (a temporary folder may live
// in memory) and never cross file systems.
UString CommitTailName(const UString& ArchiveFileName);

// Writes the journal, flushes it and the folder that holds it. On failure
// (also of a flush: the archive may only be cut once the journal is sure to
// be found) removes what it wrote and raises (EFCreateError, EWriteError).
void WriteCommitJournal(const UString& ArchiveFileName, const TKelCommitJournal& Journal);
// Reads the journal of ArchiveFileName into Journal when it is complete.
TKelJournalState ReadCommitJournal(const UString& ArchiveFileName, TKelCommitJournal& Journal);
// Removes the journal and makes the removal durable. False when it stays.
bool RemoveCommitJournal(const UString& ArchiveFileName);

// Removes "<archive>-tail" when no journal names it: a commit stopped before
// its journal was written, or after the journal went, leaves it unread. Left
// alone while anyone holds the archive open: its commit may still need it.
void RemoveOrphanedCommitTail(const UString& ArchiveFileName);

// Write and copy of the commit. A short write, which only a full medium gives,
// raises EWriteError naming Stream's file, where the stream's own error names
// neither the file nor the reason.
void CommitWrite(TStream& Stream, const void* Buffer, int64_t Count);
void CommitCopy(TStream& Stream, TStream& Source, int64_t Count);
[[noreturn]] void RaiseDiskFull(TStream& Stream);

// CRC-32 (the ZIP value) of Count bytes of Source from its position.
uint32_t StreamCrc32(TStream& Source, int64_t Count);

// Puts the saved bytes back: Archive is cut at Journal.CutPos, Tail (from its
// start) copied behind, and the result flushed when Archive is a file. Raises
// what the streams raise.
void RestoreArchiveTail(TStream& Archive, TStream& Tail, const TKelCommitJournal& Journal);

// Completes the roll-back of an interrupted commit of ArchiveFileName, if there
// was one: with a complete journal the archive is restored byte for byte, then
// the journal and the tail file are removed; an incomplete journal (the
// archive was never cut) is removed with any tail file. True when an archive
// was restored. Raises EKelInterruptedCommit when the saved bytes are missing
// or damaged (nothing is changed then), EFOpenError while anyone holds the
// archive open (a commit may be in progress; nothing is changed), and the file
// layer's errors.
bool RollBackInterruptedCommit(const UString& ArchiveFileName);

// An interrupted commit that cannot be rolled back here: a read-only opening,
// or saved bytes that are gone.
class EKelInterruptedCommit : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace kelvane
