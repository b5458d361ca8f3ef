#include "ZYNJson.h"

#include "ZYNExplain.h"
#include "ZYNReport.h"
#include "ZYNVersion.h"

namespace ZYNJson {

namespace {

// The length of the well-formed UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(std::string_view s, std::size_t at) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[at + i]); };
  const auto more = [&](std::size_t i) { return at + i < s.size() && (b(i) & 0xC0) == 0x80; };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return more(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!more(1) || !more(2)) return 0;
    if ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) >= 0xA0)) return 0;  // overlong; a surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!more(1) || !more(2) || !more(3)) return 0;
    if ((c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) >= 0x90)) return 0;
    return 4;
  }
  return 0;
}

std::string Array(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) out += (i > 0 ? ", " : "") + Quoted(texts[i]);
  return out + "]";
}

std::string Member(std::string_view className, const ZYNResult::tMemberDecision& m) {
  static constexpr std::string_view kFates[] = {"removed", "renamed", "kept"};
  std::string out = "{\"kind\": \"" + std::string(m.method ? "method" : "field") + "\", \"name\": " + Quoted(m.name);
  out += ", \"descriptor\": " + Quoted(m.descriptor) + ", \"declaration\": " + Quoted(ZYNMap::Declaration(className, m));
  out += ", \"fate\": \"" + std::string(kFates[static_cast<std::size_t>(m.fate)]) + "\"";
  if (m.fate == ZYNResult::tFate::kRenamed) out += ", \"newName\": " + Quoted(m.newName);
  if (m.fate == ZYNResult::tFate::kKept) {
    out += ", \"rule\": " + Quoted(ZYNExplain::RuleCode(m.rule));
    if (!m.evidence.empty()) out += ", \"evidence\": " + Quoted(m.evidence);
  }
  return out + ", \"why\": " + Quoted(ZYNExplain::Fate(m)) + "}";
}

}  // namespace

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const std::size_t n = Utf8Length(text, at);
    static constexpr char kHex[] = "0123456789abcdef";
    if (n == 0) out += "\\ufffd";
    else if (c == '"' || c == '\\') out.append({'\\', static_cast<char>(c)});
    else if (c < 0x20) out.append({'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]});
    else out.append(text.substr(at, n));
    at += n == 0 ? 1 : n;
  }
  return out + "\"";
}

std::string tReportOutput::Head() {
  if (headed_) return {};
  headed_ = true;
  return "{\n  \"zyn\": " + Quoted(ZYNVersion::Build()) + ",\n  \"keys\": " + Array(params_.keys) + ",\n  \"files\": [";
}

std::string tReportOutput::Lines(const std::string& name, const ZYNResult::tFileResult& r) {
  std::string out = Head();
  out += files_++ > 0 ? ",\n" : "\n";
  out += "    {\"name\": " + Quoted(name);
  if (r.read) out += ", \"oldSize\": " + std::to_string(r.oldSize);
  if (r.error.empty()) {
    out += ", \"newSize\": " + std::to_string(r.oldSize - r.change) + ", \"change\": " + std::to_string(-r.change);
    out += ", \"percent\": " + std::to_string(ZYNReport::Percent(r.change, r.oldSize));
  }
  out += ", \"limited\": " + std::string(r.limited ? "true" : "false") + ", \"warnings\": " + Array(r.warnings);
  if (!r.error.empty())
    return out + ", \"error\": {\"code\": " + Quoted(r.error.Code()) + ", \"args\": " + Array(r.error.args) +
           ", \"line\": " + Quoted(r.error.Line()) + "}}";
  out += ",\n     \"class\": " + Quoted(r.className) + ", \"members\": [";
  for (std::size_t i = 0; i < r.members.size(); ++i)
    out += (i > 0 ? ",\n       " : "\n       ") + Member(r.className, r.members[i]);
  return out + "]}";
}

std::string tReportOutput::Tail(const ZYNResult::tTotals* totals) {
  std::string out = Head() + "\n  ],\n  \"completed\": " + std::string(totals != nullptr ? "true" : "false");
  if (totals != nullptr) {
    out += ",\n  \"totals\": {\"files\": " + std::to_string(totals->files) + ", \"reduction\": " +
           std::to_string(totals->reduction);
    if (totals->archives) out += ", \"archiveReduction\": " + std::to_string(totals->archiveReduction);
    out += "}";
  }
  return out + "\n}\n";
}

}  // namespace ZYNJson
