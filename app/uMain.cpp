#include "app/uMain.h"

#include "app/AppTexts.h"
#include "app/ZoneMark.h"
#include "platform/Dialogs.h"
#include "platform/Text.h"

namespace kelvane {

void ApplyArchiverSettings(TKelvane& Archiver) {
  Archiver.SetName(u"Archiver");
  Archiver.SetExtractCorruptedFiles(false);
  Archiver.SetCompressionLevel(clFastest);
  Archiver.SetCompressionMode(1);
  Archiver.SetSpanningMode(smNone);
  Archiver.SpanningOptions().SetAdvancedNaming(true);
  Archiver.SpanningOptions().SetVolumeSize(vsAutoDetect);
  TKelOptions& options = Archiver.Options();
  options.SetShareMode(smShareCompat);
  options.SetFlushBuffers(true);
  options.SetOEMFileNames(true);
  Archiver.SetInMemory(false);
  Archiver.SetZip64Mode(zmDisabled);
  Archiver.SetUnicodeFilenames(true);
  Archiver.SetEncryptionMethod(caPkzipClassic);
  Archiver.SetOpenCorruptedArchives(false);
}

UString OverwriteQuestion(const UString& DestFileName, const UString& SourceFileName) {
  return U(kOverwriteQuestion1) + DestFileName + u"\r\n" + U(kOverwriteQuestion2) + SourceFileName;
}

TForm1::TForm1(TComponent* AOwner, TForm1View& View, const UString& ExePath)
    : TComponent(AOwner), FView(View), FExePath(ExePath) {
  SetName(u"Form1");
  Archiver = new TSFXArchiver(this);
  ApplyArchiverSettings(*Archiver);
  // What came from the internet stays marked as such once extracted.
  Archiver->SetZoneMark(ReadZoneMark(FExePath));
  Archiver->SetOnConfirmOverwrite([this](TKelBaseArchiver* Sender, const UString& SourceFileName,
                                         UString& DestFileName, bool& Confirm) {
    ArchiverConfirmOverwrite(Sender, SourceFileName, DestFileName, Confirm);
  });
  FormCreate();
}

void TForm1::FormCreate() {
  const size_t cut = FExePath.rfind(PathDelim);
  FView.SetPathText(cut == UString::npos ? UString() : FExePath.substr(0, cut + 1));
}

void TForm1::bnSelectDestPathClick() {
  if (std::optional<UString> folder = FView.BrowseForFolder(kSelectFolderTitle))
    FView.SetPathText(*folder);
}

void TForm1::bnExtractClick() {
  bAll = false;
  FExitStatus = esIncomplete;
  Archiver->Tally().Clear();
  Archiver->Options().SetOverwriteMode(FView.OverwriteChecked() ? omAlways : omPrompt);
  Archiver->SetFileName(FExePath);
  Archiver->SetBaseDir(FView.PathText());
  OpenTheArchive();
  ExtractEverything();
  CloseTheArchive();
  FExitStatus = Archiver->Tally().Complete() ? esComplete : esIncomplete;
  FView.CloseDialog();
}

void TForm1::bnExitClick() {
  FView.CloseDialog();
}

void TForm1::ArchiverConfirmOverwrite(TKelBaseArchiver*, const UString& SourceFileName,
                                      UString& DestFileName, bool& Confirm) {
  if (!bAll) {
    const TModalResult answer = MessageDlg(OverwriteQuestion(DestFileName, SourceFileName),
                                           mtConfirmation, {mbYes, mbNo, mbAll}, mbYes);
    if (answer == mrAll) bAll = true;
    Confirm = answer == mrYes || bAll;
    return;
  }
  Confirm = true;
}

void TForm1::OpenTheArchive() {
  Archiver->OpenArchive(kSFXOpenMode);
}

void TForm1::ExtractEverything() {
  Archiver->ExtractFiles(u"*.*", KelAllItemsAttr, u"");
}

void TForm1::CloseTheArchive() {
  Archiver->CloseArchive();
}

}  // namespace kelvane
