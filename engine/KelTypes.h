// The archiver's enumerations, its search result and its event types.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "coding/KelZlib.h"
#include "container/KelDamage.h"
#include "container/KelItemTypes.h"
#include "container/KelVolumeInfo.h"
#include "names/StorePathMode.h"
#include "platform/DosTime.h"
#include "platform/Stream.h"
#include "platform/Types.h"

namespace kelvane {

class TKelBaseArchiver;

enum TKelCompressionAlgorithm : uint8_t { caZLIB, caBZIP, caPPM };
enum TKelProgressPhase : uint8_t { ppStart, ppProcess, ppEnd };
enum TKelAction : uint8_t { fxaRetry, fxaIgnore, fxaAbort };
enum TKelOverwriteMode : uint8_t { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TKelFileShareMode : uint8_t {
  smShareCompat,
  smShareExclusive,
  smShareDenyWrite,
  smShareDenyRead,
  smShareDenyNone
};
enum TZip64Mode : uint8_t { zmDisabled, zmAuto, zmAlways };
// TKelSpanningMode, TKelVolumeSize and TKelVolumeNumberKind: container/KelVolumeInfo.h;
// TKelStorePathMode: names/StorePathMode.h.

// The sharing bits of the file mode word that a share mode stands for.
constexpr uint16_t FileShareModeBits(TKelFileShareMode mode) {
  constexpr std::array<uint16_t, 5> bits = {fmShareCompat, fmShareExclusive, fmShareDenyWrite,
                                            fmShareDenyRead, fmShareDenyNone};
  return mode < bits.size() ? bits[mode] : fmShareDenyNone;
}

// Attribute mask that lets every item through the search's attribute filter:
// read-only, hidden, system, volume label, folder, archive, normal, compressed
// and not-content-indexed.
inline constexpr int32_t KelAllItemsAttr = 0x28BF;

// State of one search; it lives in the caller's TKelArchiveItem, not in the
// component, so several searches may run side by side.
struct TInternalSearchRec {
  int32_t ItemNo = 0;                     // index of the current item; the next step starts here
  std::array<char16_t, 260> CFindMask{};  // "/" separators, no drive, zero-terminated
  bool FWildCards = false;
  int32_t FFindAttr = 0;
  UString ExclusionMask;
  bool UseProperties = false;  // FileMasks/ExclusionMasks instead of CFindMask/ExclusionMask
};

// One search result.
struct TKelArchiveItem {
  UString FileName;    // last component of the name (a folder item's own name)
  UString StoredPath;  // the rest, with a trailing separator; empty at the root
  int64_t CompressedSize = 0;
  int64_t UncompressedSize = 0;
  double CompressionRate = 0;  // percent saved
  bool Encrypted = false;
  uint16_t LastModFileDate = 0;
  uint16_t LastModFileTime = 0;
  uint32_t CRC = 0;
  uint32_t ExternalFileAttributes = 0;  // the low byte holds the DOS attributes
  AnsiString Comment;
  TInternalSearchRec Handle;
};

// Events. Sender is the archiver that fires them; reference arguments are the
// handler's answers.
using TKelNotifyEvent = std::function<void(TKelBaseArchiver* Sender)>;
using TKelFileProgressEvent = std::function<void(TKelBaseArchiver* Sender, const UString& FileName,
                                                 double Progress, TKelProcessOperation Operation,
                                                 TKelProgressPhase ProgressPhase, bool& Cancel)>;
using TKelOverallProgressEvent =
    std::function<void(TKelBaseArchiver* Sender, double Progress, TKelProcessOperation Operation,
                       TKelProgressPhase ProgressPhase, bool& Cancel)>;
using TKelCopyTempFileProgressEvent = std::function<void(
    TKelBaseArchiver* Sender, double Progress, TKelProgressPhase ProgressPhase, bool& Cancel)>;
using TKelConfirmOverwriteEvent = std::function<void(
    TKelBaseArchiver* Sender, const UString& SourceFileName, UString& DestFileName, bool& Confirm)>;
using TKelConfirmProcessFileEvent =
    std::function<void(TKelBaseArchiver* Sender, const UString& FileName,
                       TKelProcessOperation Operation, bool& Confirm)>;
using TKelPasswordEvent = std::function<void(TKelBaseArchiver* Sender, const UString& FileName,
                                             AnsiString& NewPassword, bool& SkipFile)>;
using TKelProcessFileFailureEvent = std::function<void(
    TKelBaseArchiver* Sender, const UString& FileName, TKelProcessOperation Operation,
    int32_t NativeError, int32_t ErrorCode, const UString& ErrorMessage, TKelAction& Action)>;
using TKelRequestBlankVolumeEvent = std::function<void(
    TKelBaseArchiver* Sender, int32_t VolumeNumber, UString& VolumeFileName, bool& Cancel)>;
// OnRequestFirstVolume and OnRequestLastVolume.
using TKelRequestVolumeEvent =
    std::function<void(TKelBaseArchiver* Sender, UString& VolumeFileName, bool& Cancel)>;
using TKelRequestMiddleVolumeEvent = std::function<void(
    TKelBaseArchiver* Sender, int32_t VolumeNumber, UString& VolumeFileName, bool& Cancel)>;
using TKelDiskFullEvent = std::function<void(TKelBaseArchiver* Sender, int32_t VolumeNumber,
                                             const UString& VolumeFileName, bool& Cancel)>;
using TKelProcessVolumeFailureEvent =
    std::function<void(TKelBaseArchiver* Sender, TKelProcessOperation Operation,
                       int32_t VolumeNumber, const UString& VolumeFileName, bool& Cancel)>;
using TKelStoreFileEvent =
    std::function<void(TKelBaseArchiver* Sender, UString& FileName, int32_t& FileAttr,
                       AnsiString& Comment, const UString& OriginalFileName)>;
using TKelExtractFileEvent = std::function<void(TKelBaseArchiver* Sender, UString& FileName,
                                                uint32_t& FileAttr, const AnsiString& Comment)>;
// An item's local header or data descriptor disagrees with the directory on
// Mismatch, which the directory's values settle: the item is decoded by them.
using TKelLocalRecordWarningEvent =
    std::function<void(TKelBaseArchiver* Sender, const UString& FileName, TKelLocalRecord Record,
                       TKelLocalMismatch Mismatch)>;

}  // namespace kelvane
