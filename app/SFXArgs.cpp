#include "app/SFXArgs.h"

#include <stdexcept>

namespace kelvane {
namespace {

[[noreturn]] void Bad(const std::string& reason) {
  throw std::invalid_argument(reason);
}

void SetMode(TSFXArgs& args, TSFXMode mode, const std::string& option) {
  if (args.Mode == mode) Bad(option + " is given twice");
  if (args.Mode != smDialog)
    Bad(option + " cannot be combined with another of --dest, --list, --test");
  args.Mode = mode;
}

}  // namespace

TSFXArgs ParseSFXArgs(const std::vector<std::string>& args) {
  TSFXArgs result;
  // Asking for help or the version never fails on the rest of the line.
  for (TSFXMode asked : {smHelp, smVersion})
    for (const std::string& arg : args)
      if (asked == smHelp ? arg == "--help" || arg == "-h" : arg == "--version") {
        result.Mode = asked;
        return result;
      }
  for (size_t i = 0; i < args.size(); ++i) {
    std::string option = args[i];
    std::string value;
    bool hasInlineValue = false;
    if (option.rfind("--", 0) == 0) {
      const size_t eq = option.find('=');
      if (eq != std::string::npos) {
        value = option.substr(eq + 1);
        option.resize(eq);
        hasInlineValue = true;
      }
    }
    const auto takeValue = [&]() {
      if (!hasInlineValue) {
        if (i + 1 >= args.size()) Bad(option + " needs a value");
        value = args[++i];
      }
      if (value.empty()) Bad(option + " needs a value that is not empty");
      return value;
    };
    const auto noValue = [&]() {
      if (hasInlineValue) Bad(option + " takes no value");
    };
    if (option == "--dest") {
      SetMode(result, smExtract, option);
      result.Dest = takeValue();
    } else if (option == "--list") {
      noValue();
      SetMode(result, smList, option);
    } else if (option == "--test") {
      noValue();
      SetMode(result, smTest, option);
    } else if (option == "--overwrite") {
      noValue();
      result.Overwrite = true;
    } else if (option == "--console") {
      noValue();
      result.Console = true;
    } else if (option == "--password-file") {
      if (result.HasPasswordFile) Bad(option + " is given twice");
      result.PasswordFile = takeValue();
      result.HasPasswordFile = true;
    } else if (option == "--describe-window") {
      noValue();
      result.DescribeWindow = true;
    } else if (option.rfind("-", 0) == 0) {
      Bad("unknown option " + option);
    } else {
      Bad("unexpected argument " + option);
    }
  }
  return result;
}

std::string SFXUsage(const std::string& programName) {
  return "Usage: " + programName +
         " [OPTION]...\n"
         "A self-extracting archive. Without options it shows the extraction dialog\n"
         "(a window, or the terminal when there is no display).\n"
         "\n"
         "  --dest DIR            extract everything into DIR without the dialog\n"
         "  --overwrite           replace existing files without asking\n"
         "                        (with the dialog: the check box starts ticked)\n"
         "  --list                list the contents\n"
         "  --test                check every item without extracting\n"
         "  --password-file FILE  the password of encrypted items, from the first line\n"
         "                        of FILE (\"-\": standard input)\n"
         "  --console             show the dialog in the terminal, not in a window\n"
         "  --help                show this help\n"
         "  --version             show the version\n"
         "\n"
         "Without a terminal no question waits for an answer: an existing file is\n"
         "kept, a missing password skips the item, a failure aborts.\n"
         "\n"
         "Exit status: 0 everything was extracted (listed, tested good);\n"
         "1 items were kept, skipped or failed, the run was aborted, or the dialog\n"
         "was left without extracting; 2 the command line was wrong; 3 an error\n"
         "ended the run (for example, the archive could not be read).\n";
}

}  // namespace kelvane
