// The extraction dialog's logic, free of any toolkit. The window and the
// terminal are views of it (TForm1View); it drives its archiver through the
// steps of one extraction and asks the overwrite question itself.
#pragma once

#include <optional>

#include "app/SFXArchiver.h"

namespace kelvane {

// What the dialog needs from whatever shows it.
class TForm1View {
 public:
  virtual ~TForm1View() = default;
  // The text of edPath, as typed.
  virtual UString PathText() const = 0;
  virtual void SetPathText(const UString& text) = 0;
  // Whether cboverwrite is ticked.
  virtual bool OverwriteChecked() const = 0;
  // Runs the folder browser under Title (UTF-8); the chosen folder's path, or
  // nothing when the browser was cancelled.
  virtual std::optional<UString> BrowseForFolder(const char* title) = 0;
  // Closes the dialog: the application's loop ends once the running handler returns.
  virtual void CloseDialog() = 0;
};

// The file mode with which the archive is opened: read only, others may read
// and write.
inline constexpr uint16_t kSFXOpenMode = 0x0040;

// How the dialog ended, as the program's exit status.
enum TSFXExitStatus : int {
  esComplete = 0,    // every item was extracted (or listed, or tested good)
  esIncomplete = 1,  // items were kept, skipped or failed, the run was aborted,
                     // or the dialog was left without extracting
  esUsage = 2,       // the command line was wrong
  esError = 3,       // an error ended the run (the archive could not be read, ...)
};

class TForm1 : public TComponent {
 public:
  // Creates Archiver with the dialog's settings (ApplyArchiverSettings), then
  // runs FormCreate. ExePath is the running executable's full path; View must
  // outlive the dialog.
  TForm1(TComponent* AOwner, TForm1View& View, const UString& ExePath);
  const char* ClassName() const override { return "TForm1"; }

  // Puts the folder that holds the executable, with its trailing separator,
  // into edPath.
  void FormCreate();
  // "...": a chosen folder replaces edPath; a cancelled browser changes nothing.
  void bnSelectDestPathClick();
  // "Extraer": one extraction, then the dialog closes. Catches nothing: an
  // error ends the handler where it happened, the dialog stays open and the
  // caller shows the error (ShowException).
  void bnExtractClick();
  // "Salir": closes the dialog; nothing is extracted.
  void bnExitClick();
  // Archiver's OnConfirmOverwrite: the Spanish question, unless All was
  // answered earlier in this extraction.
  void ArchiverConfirmOverwrite(TKelBaseArchiver* Sender, const UString& SourceFileName,
                                UString& DestFileName, bool& Confirm);

  const UString& ExePath() const { return FExePath; }
  // esIncomplete until an extraction ran to its end.
  TSFXExitStatus ExitStatus() const { return FExitStatus; }

  TSFXArchiver* Archiver;  // owned by the dialog
  bool bAll = false;

 protected:
  // Steps 5 to 7 of an extraction, one call each; tests watch them.
  virtual void OpenTheArchive();
  virtual void ExtractEverything();
  virtual void CloseTheArchive();

 private:
  TForm1View& FView;
  UString FExePath;
  TSFXExitStatus FExitStatus = esIncomplete;
};

// The dialog's archiver settings: name "Archiver", fastest compression,
// no spanning, UnicodeFilenames, ShareMode smShareCompat, PKZIP classic
// encryption, Zip64 off, ... A stub is never read as a damaged archive
// (OpenCorruptedArchives false): the recovery scan would take byte patterns of
// the executable's own code for items.
void ApplyArchiverSettings(TKelvane& Archiver);

// "Sobreescribir <DestFileName>\r\nCon archivo <SourceFileName>".
UString OverwriteQuestion(const UString& DestFileName, const UString& SourceFileName);

}  // namespace kelvane
