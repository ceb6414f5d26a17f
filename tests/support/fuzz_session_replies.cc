#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "support/fuzz_session.h"

namespace {

// A number as the agent writes one: an int in plain decimal.
bool isDecimal(std::string_view text) {
  int value = 0;
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc() &&
         std::to_string(value) == text;
}

}  // namespace

bool answersCommand(std::string_view reply, std::string_view word) {
  if (reply == "UNKNOWN: " + std::string(word)) return true;
  std::vector<std::string_view> parts;
  for (size_t space; (space = reply.find(' ')) != std::string_view::npos;) {
    parts.push_back(reply.substr(0, space));
    reply.remove_prefix(space + 1);
  }
  parts.push_back(reply);
  if (word == "PING") return parts.size() == 1 && parts[0] == "PONG";
  if (word == "RESOLUTION") {  // the main display's size, twice
    return parts.size() == 5 && parts[0] == "SCREEN" && isDecimal(parts[1]) &&
           isDecimal(parts[2]) && parts[3] == parts[1] && parts[4] == parts[2];
  }
  if (word == "GETPOS") {
    return parts.size() == 3 && parts[0] == "POS" && isDecimal(parts[1]) && isDecimal(parts[2]);
  }
  if (word == "LAYOUT") {  // the layout's id, then the input method's when one composes the keys
    return (parts.size() == 2 || (parts.size() == 3 && !parts[2].empty() && parts[1] != "none")) &&
           parts[0] == "LAYOUT" && !parts[1].empty();
  }
  if (word == "CAPSLOCK") {
    return parts.size() == 2 && parts[0] == word &&
           (parts[1] == "1" || parts[1] == "0" || parts[1] == "none");
  }
  if (word == "DISPLAYS") {  // how many, then each as id:x,y,w,h,pw,ph
    if (parts.size() < 2 || parts[0] != "DISPLAYS" || !isDecimal(parts[1]) ||
        parts.size() != 2 + std::stoul(std::string(parts[1]))) {
      return false;
    }
    for (size_t i = 2; i < parts.size(); ++i) {
      std::string_view entry = parts[i];
      const size_t colon = entry.find(':');
      if (colon == std::string_view::npos || colon == 0 ||
          entry.substr(0, colon).find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
      }
      entry.remove_prefix(colon + 1);
      for (int number = 0; number < 6; ++number) {
        const size_t comma = number < 5 ? entry.find(',') : entry.size();
        if (comma == std::string_view::npos || !isDecimal(entry.substr(0, comma))) return false;
        entry.remove_prefix(number < 5 ? comma + 1 : comma);
      }
    }
    return true;
  }
  for (std::string_view acknowledged : {"MOUSEDOWN", "MOUSEUP", "CLICK", "KEYDOWN", "KEYUP"}) {
    if (word == acknowledged) return parts.size() == 2 && parts[0] == "ACK" && parts[1] == word;
  }
  return false;
}
