// The built stubs as a user runs them: alone, with an archive appended, with
// and without a display or a terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "TempDir.h"

namespace kelvane {
namespace {

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs Program with Args under Env (shell assignments, "-u NAME" to unset),
// standard input from /dev/null.
TRun RunStub(const test::TempDir& dir, const std::string& program, const std::string& args,
             const std::string& env = "") {
  const std::string out = dir.NativePath("stdout"), err = dir.NativePath("stderr");
  const std::string command = "env " + env + " " + Quoted(program) + " " + args + " </dev/null >" +
                              Quoted(out) + " 2>" + Quoted(err);
  const int raw = std::system(command.c_str());
  TRun run;
  run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.Out = ReadFile(out);
  run.Err = ReadFile(err);
  return run;
}

// Stub + Zip concatenated into an executable file, as "cat stub archive.zip".
std::string MakeSetup(const test::TempDir& dir, const std::string& stub, const std::string& zip) {
  const std::string setup = dir.NativePath("setup");
  std::ofstream(setup, std::ios::binary) << ReadFile(stub) << zip;
  std::filesystem::permissions(setup, std::filesystem::perms::owner_all);
  return setup;
}

// A small archive made by python's zipfile (two files, one in a folder).
std::string PythonZip(const test::TempDir& dir) {
  const std::string zip = dir.NativePath("made.zip");
  const std::string script =
      "import zipfile,sys\n"
      "with zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED) as z:\n"
      "  z.writestr('docs/', '')\n"
      "  z.writestr('docs/readme.txt', 'hola\\n'*100)\n"
      "  z.writestr('a.bin', bytes(range(256)))\n";
  std::ofstream(dir.NativePath("mk.py")) << script;
  const std::string command =
      "python3 " + Quoted(dir.NativePath("mk.py")) + " " + Quoted(zip) + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return ReadFile(zip);
}

const std::string kStubs[] = {KELVANE_SFX_CLI, KELVANE_SFX};

TEST(StubBinary, CliStubIsStaticallyLinked) {
  if (!KELVANE_SFX_CLI_STATIC) GTEST_SKIP() << "sanitizer builds link dynamically";
  // A dynamically linked program names its loader in a PT_INTERP segment.
  const std::string image = ReadFile(KELVANE_SFX_CLI);
  ASSERT_GT(image.size(), 64u);
  ASSERT_EQ(image.substr(0, 4),
            "\x7f"
            "ELF");
  uint64_t phoff;
  uint16_t phentsize, phnum;
  std::memcpy(&phoff, image.data() + 32, 8);
  std::memcpy(&phentsize, image.data() + 54, 2);
  std::memcpy(&phnum, image.data() + 56, 2);
  for (uint16_t i = 0; i < phnum; ++i) {
    uint32_t type;
    ASSERT_LE(phoff + uint64_t(i + 1) * phentsize, image.size());
    std::memcpy(&type, image.data() + phoff + uint64_t(i) * phentsize, 4);
    EXPECT_NE(type, 3u) << "PT_INTERP: the stub needs a dynamic loader";
  }
}

TEST(StubBinary, BareStubEndsWithoutAnEndRecordSignature) {
  // The reader looks for the end record in a file's last 65,600 bytes: a
  // signature there inside the stub's own bytes could pass a bare stub off as
  // an (empty or broken) archive.
  for (const std::string& stub : kStubs) {
    const std::string image = ReadFile(stub);
    const size_t from = image.size() > 65600 ? image.size() - 65600 : 0;
    EXPECT_EQ(image.find("PK\x05\x06", from), std::string::npos) << stub;
  }
}

TEST(StubBinary, BareStubReportsTheEnginesErrorAndWritesNothing) {
  for (const std::string& stub : kStubs) {
    for (const std::string mode : {"--list", "--test", "--dest out"}) {
      test::TempDir dir;
      const std::string setup = MakeSetup(dir, stub, "");
      const TRun run = RunStub(dir, setup, mode);
      EXPECT_EQ(run.Status, 3) << stub << " " << mode;
      EXPECT_EQ(run.Err, "setup: Archiver: Archive is damaged. Open failed - Native error: 00048\n")
          << stub << " " << mode;
      EXPECT_FALSE(std::filesystem::exists(dir.NativePath("out")));
    }
  }
}

TEST(StubBinary, ListsTheArchiveAppendedToIt) {
  test::TempDir dir;
  const std::string zip = PythonZip(dir);
  if (zip.empty()) GTEST_SKIP() << "python3 is needed to make the archive";
  for (const std::string& stub : kStubs) {
    const TRun run = RunStub(dir, MakeSetup(dir, stub, zip), "--list");
    EXPECT_EQ(run.Status, 0) << run.Err;
    for (const char* line :
         {"         500 ", "docs/readme.txt\n", "         256 ", "a.bin\n", "docs/\n", "3 items\n"})
      EXPECT_NE(run.Out.find(line), std::string::npos) << line << "\n" << run.Out;
  }
}

TEST(StubBinary, WithoutATerminalTheDialogIsNotShownAndNothingWaits) {
  test::TempDir dir;
  const std::string zip = PythonZip(dir);
  if (zip.empty()) GTEST_SKIP() << "python3 is needed to make the archive";
  const std::string reason =
      "setup: no terminal to show the dialog on; use --dest DIR to extract without it (see "
      "--help)\n";
  // The window stub falls back to the terminal without a display, with a
  // display it cannot open, and when asked to.
  const struct {
    std::string Stub, Env, Args;
  } table[] = {
      {KELVANE_SFX_CLI, "", ""},
      {KELVANE_SFX, "-u DISPLAY -u WAYLAND_DISPLAY", ""},
      {KELVANE_SFX, "-u WAYLAND_DISPLAY DISPLAY=:31999", ""},
      {KELVANE_SFX, "", "--console"},
  };
  for (const auto& row : table) {
    const TRun run = RunStub(dir, MakeSetup(dir, row.Stub, zip), row.Args, row.Env);
    EXPECT_EQ(run.Status, 1) << row.Stub << " " << row.Env;
    EXPECT_EQ(run.Err, reason) << row.Stub << " " << row.Env;
    EXPECT_FALSE(std::filesystem::exists(dir.NativePath("docs")));
  }
}

// Typed answers through a pseudo-terminal (script(1)), as a person at a text
// console: the dialog is shown, an error is shown and the dialog goes on.
TEST(StubBinary, InATerminalTheDialogShowsTheErrorAndStaysUntilLeft) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) missing";
  test::TempDir dir;
  const struct {
    std::string Stub, Args;
  } table[] = {{KELVANE_SFX_CLI, ""}, {KELVANE_SFX, "--console"}};
  for (const auto& row : table) {
    const std::string setup = MakeSetup(dir, row.Stub, "");
    const std::string out = dir.NativePath("typed");
    const std::string command = "printf 'e\\n\\ns\\n' | script -qec " +
                                Quoted(Quoted(setup) + " " + row.Args) + " /dev/null >" +
                                Quoted(out) + " 2>&1";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1) << "left with Salir";
    std::string shown = ReadFile(out);
    for (size_t i; (i = shown.find('\r')) != std::string::npos;)
      shown.erase(i, 1);
    const std::string dialog = "Selecionar folder destino: " + dir.NativePath("") +
                               "\n[ ] Sobreescribir archivos existentes\n";
    const size_t first = shown.find(dialog);
    const size_t error = shown.find(
        "== Kelvane SFX ==\nArchiver: Archive is damaged. Open failed - Native error: 00048.\n");
    ASSERT_NE(first, std::string::npos) << shown;
    ASSERT_NE(error, std::string::npos) << shown;
    EXPECT_NE(shown.find(dialog, error), std::string::npos) << "shown again after the error";
  }
}

TEST(StubBinary, HelpVersionAndUsageErrors) {
  test::TempDir dir;
  for (const std::string& stub : kStubs) {
    const std::string setup = MakeSetup(dir, stub, "");
    TRun run = RunStub(dir, setup, "--help");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.rfind("Usage: setup [OPTION]...\n", 0), 0u) << run.Out;
    run = RunStub(dir, setup, "--version");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, std::string("setup (Kelvane SFX) ") + KELVANE_VERSION + "\n");
    run = RunStub(dir, setup, "--dest");
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, "setup: --dest needs a value\nTry 'setup --help'.\n");
    run = RunStub(dir, setup, "--list --password-file " + Quoted(dir.NativePath("none")));
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("cannot read the password file"), std::string::npos) << run.Err;
  }
}

}  // namespace
}  // namespace kelvane
