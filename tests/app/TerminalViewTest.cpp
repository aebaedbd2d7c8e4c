#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "AppTestSupport.h"
#include "TempDir.h"
#include "app/Application.h"
#include "app/TerminalView.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using test::TRecordingForm1;

// Runs the terminal dialog on typed Input and keeps what it showed.
class TerminalView : public ::testing::Test {
 protected:
  TScriptedDialogs dialogs;
  TCurrentDialogsScope useDialogs{dialogs};
  test::TempDir dir;
  TComponent application{nullptr};
  std::string failAt;  // passed on to each run's dialog
  std::function<void()> failure;

  std::string shown;
  TRecordingForm1* last = nullptr;
  UString lastPath;

  void Run(const std::string& input) {
    const std::string inPath = dir.NativePath("in"), outPath = dir.NativePath("out");
    std::ofstream(inPath, std::ios::binary | std::ios::trunc) << input;
    const int in = ::open(inPath.c_str(), O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    TTerminalForm1View view(in, out);
    last = new TRecordingForm1(&application, view, u"/opt/gifts/setup");
    last->FailAt = failAt;
    last->Failure = failure;
    view.Run(*last);
    lastPath = view.PathText();
    ::close(in);
    ::close(out);
    std::ifstream file(outPath, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    shown = text.str();
  }
};

TEST_F(TerminalView, ShowsTheDialogAndExtractsWithItsValuesOnEnter) {
  Run("o\nr\n/tmp/new place\n\n");
  EXPECT_NE(shown.find("Selecionar folder destino: /opt/gifts/\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("[ ] Sobreescribir archivos existentes"), std::string::npos);
  EXPECT_NE(shown.find("[x] Sobreescribir archivos existentes"), std::string::npos);
  ASSERT_EQ(last->Steps.size(), 3u);
  EXPECT_EQ(last->Steps[0].OverwriteMode, omAlways);
  EXPECT_EQ(last->Steps[0].BaseDir, u"/tmp/new place");
  EXPECT_EQ(last->ExitStatus(), esComplete);
}

TEST_F(TerminalView, LeavesOnSalirOrAtTheEndOfInputWithoutExtracting) {
  for (const std::string input : {"s\n", "S\n", "\x1b\n", ""}) {
    Run(input);
    EXPECT_TRUE(last->Steps.empty()) << input;
    EXPECT_EQ(last->ExitStatus(), esIncomplete);
  }
}

TEST_F(TerminalView, AnErrorIsShownAndTheDialogGoesOn) {
  failAt = "open";
  failure = [] { throw Exception("Archiver: Cannot open file - Native error: 00035"); };
  Run("e\ns\n");
  ASSERT_EQ(dialogs.Questions().size(), 1u);
  EXPECT_EQ(dialogs.Questions()[0].Text, u"Archiver: Cannot open file - Native error: 00035.");
  EXPECT_EQ(last->Steps.size(), 1u) << "the steps after the error are skipped";
  EXPECT_EQ(last->ExitStatus(), esIncomplete);
}

TEST_F(TerminalView, FolderBrowserTakesOnlyAnExistingFolder) {
  const std::string folder = dir.NativePath("chosen");
  std::filesystem::create_directory(folder);
  Run("...\n" + dir.NativePath("missing") + "\n\ns\n");
  EXPECT_EQ(lastPath, u"/opt/gifts/") << "a missing folder, then cancelled";
  EXPECT_NE(shown.find("Seleccionar folder destino ..."), std::string::npos);
  Run("...\n" + dir.NativePath("missing") + "\n" + folder + "\ns\n");
  EXPECT_EQ(lastPath, FromUtf8(folder));
}

}  // namespace
}  // namespace kelvane
