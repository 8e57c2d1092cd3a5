// A recorded host call's arguments as numbers.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace test_support {

// The arguments of a recorded call, each as its numbers: an array's
// elements, a number alone, nothing for "null" (texts are not read).
inline std::vector<std::vector<double>> Args(const std::string& text) {
  std::vector<std::vector<double>> out;
  size_t i = 0;
  while (i < text.size()) {
    std::vector<double> arg;
    const bool array = text[i] == '[';
    if (array) ++i;
    while (i < text.size() && text[i] != ']' && (array || text[i] != ',')) {
      while (i < text.size() && text[i] == ' ') ++i;
      const char* start = text.c_str() + i;
      char* end = nullptr;
      const double value = std::strtod(start, &end);
      if (end == start) {  // null, or a text
        while (i < text.size() && text[i] != ',' && text[i] != ']') ++i;
      } else {
        arg.push_back(value);
        i += static_cast<size_t>(end - start);
      }
      if (array && i < text.size() && text[i] == ',') ++i;
    }
    if (array && i < text.size()) ++i;  // the ']'
    out.push_back(arg);
    while (i < text.size() && (text[i] == ',' || text[i] == ' ')) ++i;
  }
  return out;
}

}  // namespace test_support
