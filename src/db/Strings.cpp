#include "db/Strings.h"

void TStrings::SetGuards(Guard beforeChange, Guard afterChange) {
  beforeChange_ = std::move(beforeChange);
  afterChange_ = std::move(afterChange);
}

void TStrings::Clear() {
  if (beforeChange_) beforeChange_();
  lines_.clear();
  if (afterChange_) afterChange_();
}

void TStrings::Add(const std::string& line) {
  if (beforeChange_) beforeChange_();
  lines_.push_back(line);
  if (afterChange_) afterChange_();
}

void TStrings::AddStrings(const TStrings& other) {
  if (beforeChange_) beforeChange_();
  // Copy first: `other` may be this list.
  std::vector<std::string> copy = other.lines_;
  lines_.insert(lines_.end(), copy.begin(), copy.end());
  if (afterChange_) afterChange_();
}

std::string TStrings::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::string TraApici(const std::string& testo, char apice) {
  std::string risultato(1, apice);
  for (char c : testo) {
    risultato += c;
    if (c == apice) risultato += apice;
  }
  return risultato + apice;
}
