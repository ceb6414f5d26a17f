#include "support/command_driver.h"

#include <charconv>

namespace {

void appendDouble(std::string* out, double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

void appendFlags(std::string* out, const SimEvent& event) {
  *out += " f";
  *out += event.flags ? std::to_string(*event.flags) : "-";
}

}  // namespace

std::string eventSummary(const SimEvent& e) {
  std::string s = std::to_string(e.type);
  switch (e.kind) {
    case SimEventKind::Mouse: {
      s += " b" + std::to_string(e.button) + " @";
      appendDouble(&s, e.x);
      s += ',';
      appendDouble(&s, e.y);
      appendFlags(&s, e);
      s += " {";
      bool first = true;
      for (const auto& [field, value] : e.fields) {
        if (!first) s += ',';
        first = false;
        s += std::to_string(field) + ":" + std::to_string(value);
      }
      s += '}';
      break;
    }
    case SimEventKind::Scroll:
      s += " u" + std::to_string(e.units) + " n" + std::to_string(e.wheelCount) + " " +
           std::to_string(e.wheel1) + "," + std::to_string(e.wheel2);
      appendFlags(&s, e);
      break;
    default:
      appendFlags(&s, e);
      break;
  }
  return s;
}

std::vector<std::string> takePosted() {
  std::vector<std::string> summaries;
  for (const SimEvent& event : simPostedEvents()) summaries.push_back(eventSummary(event));
  simClearPostedEvents();
  return summaries;
}
