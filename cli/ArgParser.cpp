#include "cli/ArgParser.h"

namespace kelvane::cli {
namespace {

const TOptionSpec* FindLong(const std::vector<TOptionSpec>& specs, const std::string& name) {
  for (const TOptionSpec& s : specs)
    if (s.Long == name) return &s;
  return nullptr;
}

const TOptionSpec* FindShort(const std::vector<TOptionSpec>& specs, char c) {
  for (const TOptionSpec& s : specs)
    if (s.Short != 0 && s.Short == c) return &s;
  return nullptr;
}

bool LooksLikeOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-';
}

}  // namespace

const std::vector<std::string>& TParsedArgs::All(const std::string& name) const {
  static const std::vector<std::string> none;
  auto it = FValues.find(name);
  return it == FValues.end() ? none : it->second;
}

std::string TParsedArgs::Last(const std::string& name, const std::string& fallback) const {
  auto it = FValues.find(name);
  return it == FValues.end() || it->second.empty() ? fallback : it->second.back();
}

TParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs) {
  TParsedArgs out;
  size_t i = 0;
  // After an option that takes its value from the next argument: takes it, and
  // for a greedy option the arguments after it up to the next option.
  auto takeValues = [&](const TOptionSpec& spec, const std::string& shown) {
    if (i >= args.size()) throw EUsageError("option " + shown + " needs a value");
    out.Add(spec.Long, args[i++]);
    if (spec.Greedy)
      while (i < args.size() && !LooksLikeOption(args[i]))
        out.Add(spec.Long, args[i++]);
  };
  while (i < args.size()) {
    const std::string& arg = args[i++];
    if (arg == "--") {
      while (i < args.size())
        out.Positional.push_back(args[i++]);
      break;
    }
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      const TOptionSpec* spec = FindLong(specs, name);
      if (!spec) throw EUsageError("unknown option --" + name);
      if (eq != std::string::npos) {
        if (!spec->TakesValue) throw EUsageError("option --" + name + " takes no value");
        out.Add(spec->Long, arg.substr(eq + 1));
      } else if (spec->TakesValue) {
        takeValues(*spec, "--" + name);
      } else {
        out.Add(spec->Long, {});
      }
      continue;
    }
    if (!LooksLikeOption(arg)) {
      out.Positional.push_back(arg);
      continue;
    }
    // One or more bundled short options; one that takes a value ends the bundle.
    for (size_t k = 1; k < arg.size(); ++k) {
      const TOptionSpec* spec = FindShort(specs, arg[k]);
      if (!spec) throw EUsageError(std::string("unknown option -") + arg[k]);
      if (!spec->TakesValue) {
        out.Add(spec->Long, spec->FlagValue ? spec->FlagValue : "");
        continue;
      }
      if (k + 1 < arg.size()) {
        out.Add(spec->Long, arg.substr(k + 1));
        if (spec->Greedy)
          while (i < args.size() && !LooksLikeOption(args[i]))
            out.Add(spec->Long, args[i++]);
      } else {
        takeValues(*spec, std::string("-") + arg[k]);
      }
      break;
    }
  }
  return out;
}

}  // namespace kelvane::cli
