#include "ZYNData.h"

#include <algorithm>

namespace ZYNData {

namespace {

// Wildcard match where "*" stops at a "/" (when `slash` is true) and "**" never does.
bool Glob(std::string_view pattern, std::string_view text, bool slash) {
  // matched[j]: the pattern so far matches the first j characters of the text.
  std::vector<char> matched(text.size() + 1, 0), next(text.size() + 1);
  matched[0] = 1;
  for (std::size_t p = 0; p < pattern.size(); ++p) {
    std::fill(next.begin(), next.end(), 0);
    if (pattern[p] == '*') {
      const bool any = !slash || (p + 1 < pattern.size() && pattern[p + 1] == '*');
      if (any && slash) ++p;
      for (std::size_t j = 0; j <= text.size(); ++j)
        next[j] = matched[j] || (j > 0 && next[j - 1] && (any || text[j - 1] != '/'));
    } else {
      for (std::size_t j = 1; j <= text.size(); ++j) next[j] = matched[j - 1] && text[j - 1] == pattern[p];
    }
    matched.swap(next);
  }
  return matched[text.size()] != 0;
}

bool HoldsOnly(std::string_view text, std::string_view refused) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || refused.find(c) != std::string_view::npos) return false;
  return true;
}

}  // namespace

bool ParseKeep(std::string_view text, tKeepPattern& pattern) {
  const std::size_t hash = text.find('#');
  std::string type(text.substr(0, hash));
  std::replace(type.begin(), type.end(), '.', '/');
  const std::string_view member = hash == std::string_view::npos ? std::string_view() : text.substr(hash + 1);
  if (type.empty() || type.front() == '/' || type.back() == '/' || type.find("//") != std::string::npos ||
      !HoldsOnly(type, ";[]<>#") || (hash != std::string_view::npos && member.empty()) || !HoldsOnly(member, ".;[/#"))
    return false;
  pattern = {std::move(type), std::string(member), std::string(text)};
  return true;
}

bool KeepsClass(const tKeepPattern& pattern, std::string_view type) { return Glob(pattern.type, type, true); }

bool KeepsMember(const tKeepPattern& pattern, std::string_view member) {
  return pattern.member.empty() || Glob(pattern.member, member, false);
}

}  // namespace ZYNData
