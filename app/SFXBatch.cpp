#include "app/SFXBatch.h"

#include <unistd.h>

#include <exception>

#include "app/Application.h"
#include "app/TerminalProgress.h"
#include "app/uMain.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// The dialog's view when nobody looks at it: the folder and the check box come
// from the command line, and there is no browser to run.
class TBatchView : public TForm1View {
 public:
  explicit TBatchView(bool overwrite) : FOverwrite(overwrite) {}
  UString PathText() const override { return FPath; }
  void SetPathText(const UString& text) override { FPath = text; }
  bool OverwriteChecked() const override { return FOverwrite; }
  std::optional<UString> BrowseForFolder(const char*) override { return std::nullopt; }
  void CloseDialog() override {}

 private:
  UString FPath;
  bool FOverwrite;
};

void Complain(const TSFXRun& run, std::FILE* err, const std::string& line) {
  std::fprintf(err, "%s: %s\n", run.ProgramName.c_str(), line.c_str());
}

int Failed(const TSFXRun& run, std::FILE* err, const std::exception_ptr& error) {
  Complain(run, err, ToUtf8(ExceptionMessage(error)));
  return esError;
}

bool IsTerminal(std::FILE* f) {
  return ::isatty(::fileno(f)) != 0;
}

// An archiver set up as the dialog's, opened on the running executable.
class TOpenedArchive {
 public:
  explicit TOpenedArchive(const TSFXRun& run) : FArchiver(new TSFXArchiver(&FOwner)) {
    ApplyArchiverSettings(*FArchiver);
    if (run.Password) FArchiver->SetPassword(*run.Password);
    FArchiver->SetFileName(run.ExePath);
    FArchiver->OpenArchive(kSFXOpenMode);
  }
  TSFXArchiver& operator*() { return *FArchiver; }
  TSFXArchiver* operator->() { return FArchiver; }

 private:
  TComponent FOwner{nullptr};
  TSFXArchiver* FArchiver;  // owned by FOwner
};

std::string DosDateTime(uint16_t date, uint16_t time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 1980u + (date >> 9),
                (date >> 5) & 15u, date & 31u, time >> 11, (time >> 5) & 63u);
  return text;
}

int Finished(const TSFXRun& run, std::FILE* err, const TRunTally& tally, const char* verb) {
  if (tally.Complete()) return esComplete;
  Complain(run, err, tally.Summary(verb));
  return esIncomplete;
}

}  // namespace

int RunBatchExtract(const TSFXRun& run, const std::string& dest, std::FILE* out, std::FILE* err) {
  TComponent application(nullptr);
  TBatchView view(run.Overwrite);
  auto* form = new TForm1(&application, view, run.ExePath);  // owned by application
  view.SetPathText(FromUtf8(dest));
  if (run.Password) form->Archiver->SetPassword(*run.Password);
  TTerminalProgress progress(out, IsTerminal(out), &form->Archiver->Tally());
  progress.Attach(*form->Archiver);
  try {
    form->bnExtractClick();
  } catch (...) {
    progress.Finish();
    return Failed(run, err, std::current_exception());
  }
  progress.Finish();
  return Finished(run, err, form->Archiver->Tally(), "extracted");
}

int RunList(const TSFXRun& run, std::FILE* out, std::FILE* err) {
  try {
    TOpenedArchive archive(run);
    std::fprintf(out, "%12s %12s  %-16s  %s\n", "Size", "Packed", "Modified", "Name");
    int64_t size = 0, packed = 0, count = 0;
    TKelArchiveItem item;
    for (bool found = archive->FindFirst(u"*.*", item, KelAllItemsAttr, u""); found;
         found = archive->FindNext(item)) {
      std::fprintf(
          out, "%12lld %12lld  %s  %s%s\n", static_cast<long long>(item.UncompressedSize),
          static_cast<long long>(item.CompressedSize),
          DosDateTime(item.LastModFileDate, item.LastModFileTime).c_str(),
          ToUtf8(item.StoredPath + item.FileName +
                 ((item.ExternalFileAttributes & faDirectory) ? UString(1, PathDelim) : UString()))
              .c_str(),
          item.Encrypted ? "  (encrypted)" : "");
      size += item.UncompressedSize;
      packed += item.CompressedSize;
      ++count;
    }
    std::fprintf(out, "%12lld %12lld  %-16s  %lld item%s\n", static_cast<long long>(size),
                 static_cast<long long>(packed), "", static_cast<long long>(count),
                 count == 1 ? "" : "s");
    archive->CloseArchive();
  } catch (...) {
    return Failed(run, err, std::current_exception());
  }
  return esComplete;
}

int RunTest(const TSFXRun& run, std::FILE* out, std::FILE* err) {
  try {
    TOpenedArchive archive(run);
    TTerminalProgress progress(out, IsTerminal(out), &archive->Tally());
    progress.Attach(*archive);
    archive->SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString&, TKelProcessOperation,
                                         int32_t, int32_t, const UString& message,
                                         TKelAction& action) {
      progress.Finish();
      Complain(run, err, ToUtf8(message));
      action = fxaIgnore;
    });
    archive->Tally().Clear();
    archive->TestFiles(u"*.*", KelAllItemsAttr, u"");
    archive->CloseArchive();
    progress.Finish();
    if (archive->Tally().Complete()) std::fprintf(out, "No errors found.\n");
    return Finished(run, err, archive->Tally(), "tested good");
  } catch (...) {
    return Failed(run, err, std::current_exception());
  }
}

}  // namespace kelvane
