#include "platform/TerminalDialogs.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/TerminalIO.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr size_t kMaxLineBytes = 4096;
constexpr size_t kMaxInputChars = 255;

// Where one question is asked: the descriptors given, or the terminal of the
// process, opened for the question only.
class TChannel {
 public:
  TChannel(int inFd, int outFd) {
    if (inFd >= 0) {
      FIn = inFd, FOut = outFd;
      return;
    }
    FTerminal.emplace();
    FIn = FTerminal->In(), FOut = FTerminal->Out();
  }
  TChannel(const TChannel&) = delete;
  TChannel& operator=(const TChannel&) = delete;

  bool Valid() const { return FIn >= 0; }
  int In() const { return FIn; }

  void Write(std::string_view s) const { WriteAll(FOut, s); }
  std::optional<std::string> ReadLine() const { return kelvane::ReadLine(FIn, kMaxLineBytes); }

 private:
  std::optional<TProcessTerminal> FTerminal;
  int FIn = -1;
  int FOut = -1;
};

void Wipe(std::string& s) {
  std::fill(s.begin(), s.end(), '\0');
  s.clear();
}

std::string Lines(const UString& text) {
  std::string out = ToUtf8(text);
  for (size_t i; (i = out.find("\r\n")) != std::string::npos;)
    out.erase(i, 1);
  return out;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

struct TChoice {
  TMsgDlgBtn Button;
  std::string Caption;
  char Key;  // lower case
  size_t KeyAt;
};

// Each offered button gets the first letter of its caption that no earlier
// button took: "[Y]es  [N]o  N[o] to All  Y[e]s to All".
std::vector<TChoice> Choices(TMsgDlgButtons buttons) {
  std::vector<TChoice> choices;
  std::string taken;
  for (TMsgDlgBtn b : kMsgDlgBtns) {
    if (!buttons.Contains(b)) continue;
    TChoice choice{b, ToUtf8(ButtonCaption(b)), 0, 0};
    for (size_t i = 0; i < choice.Caption.size() && !choice.Key; ++i) {
      const char c = LowerAscii(choice.Caption[i]);
      if (c >= 'a' && c <= 'z' && taken.find(c) == std::string::npos)
        choice.Key = c, choice.KeyAt = i;
    }
    taken += choice.Key;
    choices.push_back(choice);
  }
  return choices;
}

}  // namespace

TModalResult TTerminalDialogs::MessageDlg(const UString& text, const UString& caption,
                                          TMsgDlgType type, TMsgDlgButtons buttons,
                                          TMsgDlgBtn defaultButton) {
  buttons = OfferedButtons(buttons);
  const TMsgDlgBtn fallback = EffectiveDefault(buttons, defaultButton);
  TChannel channel(FInFd, FOutFd);
  if (!channel.Valid()) return NonInteractiveAnswer(buttons, defaultButton);

  const std::vector<TChoice> choices = Choices(buttons);
  std::string menu;
  std::string fallbackCaption;
  for (const TChoice& c : choices) {
    if (!menu.empty()) menu += "  ";
    menu += c.Caption.substr(0, c.KeyAt) + "[" + c.Caption[c.KeyAt] + "]" +
            c.Caption.substr(c.KeyAt + 1);
    if (c.Button == fallback) fallbackCaption = c.Caption;
  }
  const UString title = caption.empty() ? DefaultCaption(type) : caption;
  std::string question = "\n";
  if (!title.empty()) question += "== " + Lines(title) + " ==\n";
  question += Lines(text) + "\n";
  channel.Write(question);
  for (;;) {
    channel.Write(menu + "  (Enter: " + fallbackCaption + ") ? ");
    const std::optional<std::string> line = channel.ReadLine();
    if (!line) {
      channel.Write("\n");
      return NonInteractiveAnswer(buttons, defaultButton);
    }
    const std::string answer = Trimmed(*line);
    if (answer.empty()) return ModalResultOf(fallback);
    for (const TChoice& c : choices)
      if ((answer.size() == 1 && LowerAscii(answer[0]) == c.Key) ||
          SameIgnoringCase(answer, c.Caption))
        return ModalResultOf(c.Button);
    channel.Write("Please answer with one of the letters in brackets.\n");
  }
}

bool TTerminalDialogs::InputQuery(const UString& caption, const UString& prompt, UString& value,
                                  bool masked) {
  TChannel channel(FInFd, FOutFd);
  if (!channel.Valid()) return false;
  if (!caption.empty()) channel.Write("\n== " + Lines(caption) + " ==\n");
  std::string shownPrompt = Lines(prompt);
  if (!masked && !value.empty()) shownPrompt += "[" + ToUtf8(value) + "] ";
  for (;;) {
    std::optional<std::string> line;
    {
      // Echo goes off before the prompt shows, so nothing typed ahead is echoed.
      std::optional<TEchoOff> quiet;
      if (masked && IsTerminal(channel.In())) quiet.emplace(channel.In());
      channel.Write(shownPrompt);
      line = channel.ReadLine();
    }
    if (!line) {
      channel.Write("\n");
      return false;
    }
    if (*line == "\x1b") return false;
    if (line->empty()) return true;  // the value offered stands
    UString typed = FromUtf8(*line);
    if (masked) Wipe(*line);
    if (typed.size() > kMaxInputChars) {
      std::fill(typed.begin(), typed.end(), u'\0');
      channel.Write("At most 255 characters, please.\n");
      continue;
    }
    value = std::move(typed);
    return true;
  }
}

}  // namespace kelvane
