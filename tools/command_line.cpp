#include "command_line.h"

namespace tessaly_host {
namespace {

const OptionSpec* Find(const std::vector<OptionSpec>& specs, const std::string& word) {
  for (const OptionSpec& spec : specs)
    if (word == spec.name) return &spec;
  return nullptr;
}

}  // namespace

bool Arguments::Has(const std::string& name) const { return Last(name) != nullptr; }

const std::string* Arguments::Last(const std::string& name) const {
  const std::string* found = nullptr;
  for (const auto& option : options)
    if (option.first == name) found = &option.second;
  return found;
}

std::vector<std::string> Arguments::All(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& option : options)
    if (option.first == name) values.push_back(option.second);
  return values;
}

bool ParseArguments(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs, Arguments* out,
                    std::string* error) {
  *out = Arguments();
  for (const std::string& word : words)
    if (word == "--help" || word == "-h") out->help = true;
  if (out->help) return true;

  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.empty() || word[0] != '-' || word == "-") {
      out->operands.push_back(word);
      continue;
    }
    const OptionSpec* spec = Find(specs, word);
    if (!spec) {
      *error = "unknown option '" + word + "'";
      return false;
    }
    if (!spec->needs) {
      out->options.emplace_back(word, std::string());
      continue;
    }
    // A forgotten value must not swallow the next option as its value.
    if (i + 1 == words.size() || Find(specs, words[i + 1])) {
      *error = word + " needs " + spec->needs;
      return false;
    }
    const std::string& value = words[++i];
    if (value.empty()) {
      *error = word + " needs " + spec->needs + ", not an empty argument";
      return false;
    }
    out->options.emplace_back(word, value);
  }
  return true;
}

}  // namespace tessaly_host
