// What a directory manager needs of the archiver that owns it.
//
// The manager lives in the container layer and cannot see the engine's
// component, so the component offers itself through this interface. Several
// members carry the same names and signatures as the component's own accessors
// (OpenCorruptedArchives, SpanningMode, SpanningOptions, SFXStub), so that the
// component satisfies them as they are.
#pragma once

#include "container/KelVolumeInfo.h"
#include "platform/Component.h"
#include "platform/Stream.h"

namespace kelvane {

class TKelArchiveHost {
 public:
  virtual ~TKelArchiveHost() = default;

  // The component named in the messages of the errors it raises; may be null.
  virtual const TComponent* ArchiverComponent() const = 0;

  // Stored names are converted between the OEM and the ANSI code page.
  virtual bool OEMFileNames() const = 0;
  // A directory that cannot be read is rebuilt from the local headers instead
  // of failing.
  virtual bool OpenCorruptedArchives() const = 0;

  virtual TKelSpanningMode SpanningMode() const = 0;
  virtual const TKelSpanningOptions& SpanningOptions() const = 0;
  // The descriptor of the volume open now. Writes across volumes move it on.
  virtual TKelVolumeNumberInfo& CurrentVolumeInfo() = 0;

  // File name of the executable stub put in front of a new archive; empty
  // when there is none.
  virtual const UString& SFXStub() const = 0;

  // The component's archive stream (the current volume's while the archive
  // has volumes); null when none is open. The component owns it.
  virtual TStream* ArchiveStream() = 0;

  // Makes the volume Info describes current; afterwards ArchiveStream() is
  // that volume's stream and any earlier stream pointer may be dangling.
  // Raises EKelException 45 when the user cancels the request for the volume.
  virtual void OpenVolume(const TKelVolumeNumberInfo& Info) = 0;

  // Writes Count bytes of Data to Stream, moving on to the next volume when
  // the current one is full; Stream is then the new volume's stream and Info
  // its descriptor. With a Buffer, bytes collect there and go to the stream
  // when the volume is full (the caller writes what is left at the end).
  // MinFree -1 lets a write be cut at a volume's end; otherwise the write and
  // MinFree more bytes must fit in the volume, or the write goes whole to the
  // next one. Without volumes the bytes go straight to Stream. Raises
  // EKelException 46 ("Write to stream error") when not all bytes could be
  // written; stream errors pass through.
  virtual void WriteToVolumesChecked(const void* Data, int32_t Count, TMemoryStream* Buffer,
                                     int32_t MinFree, TKelVolumeNumberInfo& Info,
                                     TStream*& Stream) = 0;

  // Called after a directory was written while the archive has volumes: when
  // the volume file written last is not named as the archive, closes it,
  // replaces any file carrying the last volume's name with it and reopens it
  // as the archive stream (read and write, shared). Otherwise does nothing.
  virtual void RenameLastVolume() = 0;
};

}  // namespace kelvane
