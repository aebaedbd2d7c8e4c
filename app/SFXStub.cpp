#include "app/SFXStub.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "app/AppTexts.h"
#include "app/Application.h"
#include "app/ExecutablePath.h"
#include "app/TerminalProgress.h"
#include "app/TerminalView.h"
#include "app/uMain.h"
#include "coding/KelSecure.h"
#include "engine/PasswordFile.h"
#include "platform/Exception.h"
#include "platform/Text.h"

#ifndef KELVANE_VERSION
#define KELVANE_VERSION "0"
#endif

namespace kelvane {
namespace {

std::string ProgramName(int argc, char** argv) {
  if (argc < 1 || !argv[0] || !*argv[0]) return "kelvane-sfx";
  const std::string path = argv[0];
  const size_t slash = path.find_last_of(PathDelim == u'/' ? "/" : "/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int RunTerminalDialog(const TSFXRun& run, const TSFXArgs& args) {
  if (!::isatty(STDIN_FILENO)) {
    std::fprintf(stderr,
                 "%s: no terminal to show the dialog on; use --dest DIR to extract without it "
                 "(see --help)\n",
                 run.ProgramName.c_str());
    return esIncomplete;
  }
  TComponent application(nullptr);
  // With standard output sent elsewhere the dialog still reaches the person typing.
  TTerminalForm1View view(STDIN_FILENO, ::isatty(STDOUT_FILENO) ? STDOUT_FILENO : STDERR_FILENO);
  auto* form = new TForm1(&application, view, run.ExePath);  // owned by application
  view.SetOverwriteChecked(args.Overwrite);
  if (run.Password) form->Archiver->SetPassword(*run.Password);
  {
    TTerminalProgress progress(stdout, ::isatty(STDOUT_FILENO) != 0, &form->Archiver->Tally());
    progress.Attach(*form->Archiver);
    view.Run(*form);
  }
  const TRunTally& tally = form->Archiver->Tally();
  if (form->ExitStatus() == esIncomplete && !tally.Complete())
    std::fprintf(stderr, "%s: %s\n", run.ProgramName.c_str(), tally.Summary("extracted").c_str());
  return form->ExitStatus();
}

int SFXStub(int argc, char** argv, TWindowDialog window) {
  TSFXRun run;
  run.ProgramName = ProgramName(argc, argv);
  TSFXArgs args;
  try {
    args = ParseSFXArgs(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", run.ProgramName.c_str(), e.what(),
                 run.ProgramName.c_str());
    return esUsage;
  }
  if (args.Mode == smHelp) {
    std::fputs(SFXUsage(run.ProgramName).c_str(), stdout);
    return esComplete;
  }
  if (args.Mode == smVersion) {
    std::printf("%s (%s) %s\n", run.ProgramName.c_str(), kApplicationTitle, KELVANE_VERSION);
    return esComplete;
  }
  run.ExePath = ExecutablePath(argc > 0 && argv[0] ? argv[0] : "");
  run.Overwrite = args.Overwrite;
  if (args.HasPasswordFile) {
    try {
      run.Password = ReadPasswordFile(args.PasswordFile);
    } catch (const Exception& e) {
      std::fprintf(stderr, "%s: %s\n", run.ProgramName.c_str(), e.what());
      return esUsage;
    }
  }
  int status = esError;
  switch (args.Mode) {
    case smExtract:
      status = RunBatchExtract(run, args.Dest, stdout, stderr);
      break;
    case smList:
      status = RunList(run, stdout, stderr);
      break;
    case smTest:
      status = RunTest(run, stdout, stderr);
      break;
    default: {
      std::optional<int> shown;
      if (window && !args.Console && HasDisplayEnvironment()) shown = window(run, args);
      status = shown ? *shown : RunTerminalDialog(run, args);
      break;
    }
  }
  if (run.Password) WipeString(*run.Password);
  std::fflush(stdout);
  return status;
}

}  // namespace kelvane
