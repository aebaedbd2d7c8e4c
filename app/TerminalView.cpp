#include "app/TerminalView.h"

#include "app/AppTexts.h"
#include "app/Application.h"
#include "platform/FileSystem.h"
#include "platform/TerminalIO.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr size_t kMaxLineBytes = 4096;

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

void TTerminalForm1View::Write(const std::string& text) const {
  WriteAll(FOutFd, text);
}

std::optional<std::string> TTerminalForm1View::ReadLine() const {
  return kelvane::ReadLine(FInFd, kMaxLineBytes);
}

void TTerminalForm1View::Show() const {
  Write(std::string("\n== ") + kApplicationTitle + " ==\n" + kLabel1Text + ": " + ToUtf8(FPath) +
        "\n" + (FOverwrite ? "[x] " : "[ ] ") + kOverwriteText + "\n" + "[Enter] " + kExtractText +
        "  [s] " + kExitText + "  [o] " + kOverwriteText + "  [r] " + kLabel1Text + "  [" +
        kSelectDestPathText + "]\n> ");
}

std::optional<UString> TTerminalForm1View::BrowseForFolder(const char* title) {
  for (;;) {
    Write(std::string(title) + "\n> ");
    const std::optional<std::string> line = ReadLine();
    if (!line) Write("\n");
    if (!line || Trimmed(*line).empty()) return std::nullopt;
    const UString folder = FromUtf8(Trimmed(*line));
    if (IsDirectory(folder)) return folder;
    Write("  " + Trimmed(*line) + ": ?\n");
  }
}

void TTerminalForm1View::Run(TForm1& form) {
  FClosed = false;
  while (!FClosed) {
    Show();
    const std::optional<std::string> line = ReadLine();
    if (!line) {
      // Nobody can answer any more: leave as with Escape.
      Write("\n");
      RunHandler([&] { form.bnExitClick(); });
      FClosed = true;
      continue;
    }
    const std::string command = Trimmed(*line);
    if (command.empty() || command == "e" || command == "E") {
      RunHandler([&] { form.bnExtractClick(); });
    } else if (command == "s" || command == "S" || command == "\x1b") {
      RunHandler([&] { form.bnExitClick(); });
    } else if (command == "o" || command == "O") {
      FOverwrite = !FOverwrite;
    } else if (command == "r" || command == "R") {
      Write(std::string(kLabel1Text) + ": ");
      const std::optional<std::string> path = ReadLine();
      if (path && !Trimmed(*path).empty()) FPath = FromUtf8(Trimmed(*path));
    } else if (command == kSelectDestPathText) {
      RunHandler([&] { form.bnSelectDestPathClick(); });
    } else {
      Write("  ?\n");
    }
  }
}

}  // namespace kelvane
