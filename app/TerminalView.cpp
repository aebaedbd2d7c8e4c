#include "app/TerminalView.h"

#include <unistd.h>

#include <cerrno>

#include "app/AppTexts.h"
#include "app/Application.h"
#include "platform/FileSystem.h"
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
  std::string_view rest = text;
  while (!rest.empty()) {
    const ssize_t n = ::write(FOutFd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody reads: the commands still decide
    rest.remove_prefix(static_cast<size_t>(n));
  }
}

std::optional<std::string> TTerminalForm1View::ReadLine() const {
  std::string line;
  bool any = false;
  for (;;) {
    char c;
    const ssize_t n = ::read(FInFd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!any) return std::nullopt;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (line.size() < kMaxLineBytes) line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
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
