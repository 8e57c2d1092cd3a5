// The words of a tessaly-host command line after its verb: operands and
// options, in any order.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tessaly_host {

// An option a verb takes: a flag, or an option with a value, where `needs`
// names what the value is ("a folder": "--save needs a folder").
struct OptionSpec {
  const char* name;
  const char* needs;  // null for a flag
};

struct Arguments {
  std::vector<std::string> operands;                         // in order
  std::vector<std::pair<std::string, std::string>> options;  // name and value ("" for a flag), in order
  bool help = false;                                          // --help or -h stood among them

  bool Has(const std::string& name) const;
  // The value of the last `name`, or null when it is not given.
  const std::string* Last(const std::string& name) const;
  // The values of every `name`, in order.
  std::vector<std::string> All(const std::string& name) const;
};

// Splits `words` by `specs`. False with `error` set for an unknown option, an
// option without its value (none, an empty one, or another option in its
// place); a help option is no error.
bool ParseArguments(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs, Arguments* out,
                    std::string* error);

}  // namespace tessaly_host
