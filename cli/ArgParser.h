// Command-line parsing for the subcommands: long options (--name, --name=value),
// short options (-d DIR, -dDIR, bundled flags -qv), "--" to end the options,
// and options that take every following argument that is not an option (-x A B).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvane::cli {

struct TOptionSpec {
  std::string Long;  // without the dashes; the key under which values are kept
  char Short = 0;    // 0 when there is no short form
  bool TakesValue = false;
  // Takes its value and then every following argument up to the next option
  // (or the end); only with TakesValue.
  bool Greedy = false;
  // A flag that stands for a value of option Long (-6 for --level 6): its use
  // adds this value under Long. Give such specs after the one of Long itself.
  const char* FlagValue = nullptr;
};

// A malformed command line: the program answers with exit status 2.
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TParsedArgs {
 public:
  std::vector<std::string> Positional;

  // Whether the option was given at least once.
  bool Has(const std::string& name) const { return FValues.count(name) != 0; }
  // Every value given, in order (a flag has one empty value per use).
  const std::vector<std::string>& All(const std::string& name) const;
  // The last value given, or Fallback.
  std::string Last(const std::string& name, const std::string& fallback = {}) const;

  void Add(const std::string& name, std::string value) {
    FValues[name].push_back(std::move(value));
  }

 private:
  std::map<std::string, std::vector<std::string>> FValues;
};

// Raises EUsageError for an unknown option, a missing value, or a value given
// to a flag.
TParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs);

}  // namespace kelvane::cli
