#pragma once

#include <functional>
#include <string>
#include <vector>

// An ordered list of text lines: statement texts and parameter lists. The owner of the list
// installs a guard that runs before every edit (it may throw to refuse the edit, as a connected
// database does for its Params) and is told after it (a statement frees its prepared form).
class TStrings {
 public:
  using Guard = std::function<void()>;

  void SetGuards(Guard beforeChange, Guard afterChange);

  void Clear();
  void Add(const std::string& line);
  void AddStrings(const TStrings& other);

  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int index) const { return lines_.at(static_cast<size_t>(index)); }
  const std::vector<std::string>& Lines() const { return lines_; }
  // The lines in order, each followed by CR LF.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
  Guard beforeChange_;
  Guard afterChange_;
};

// `testo` between two `apice` characters, each `apice` inside it doubled: an SQL string literal
// ('), or a quoted name or value (").
std::string TraApici(const std::string& testo, char apice = '\'');
