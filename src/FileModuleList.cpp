#include "FileModuleList.h"

#include <algorithm>

#include "Platform.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace FileModule {

bool IsBackupName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  const std::size_t slash = name.rfind('/');
  return dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash) &&
         dot + 1 < name.size() && name[dot + 1] == '~';
}

std::string BackupName(const std::string& name, bool archive) {
  // Only the file name is searched: a "." in a directory name must not move the backup to another place.
  const std::size_t slash = name.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t j = name.size();
  while (j > start && name[j] != '.') --j;
  if (j == start) return name + (archive ? ".~zip" : ".~class");
  return name.substr(0, j) + (archive ? ".~" + name.substr(j + 1) : ".~class");
}

bool LinkBackup(const std::string& name, const std::string& backup) {
  // Where there is no backup yet, the second name is made in one step; one that is there is replaced in one.
  return Platform::LinkFile(name, backup) || ReplaceBackup(name, backup);
}

bool ReplaceBackup(const std::string& name, const std::string& backup) {
  // A backup that is the file already (a run stopped between linking it and replacing the file) stays; renaming
  // a second name onto it would do nothing and leave that name.
  if (Platform::SameFile(name, backup)) return true;
  Platform::TempFile original;
  if (!original.LinkTo(name)) return false;
  if (!original.MoveTo(backup))
    ZYNError::Message(ZYNError::tKind::kNotRenamed, name, backup, Platform::LastError());
  return true;
}

void Commit(const std::string& name, Platform::TempFile& result, bool archive, bool old, bool linked) {
  const std::string backup = BackupName(name, archive);
  if (old) {
    if (!result.MoveTo(backup)) ZYNError::Message(ZYNError::tKind::kNotWritten, backup, Platform::LastError());
    return;
  }
  // Without hard links the original moves aside first.
  if (!linked && !Platform::RenameFile(name, backup))
    ZYNError::Message(ZYNError::tKind::kNotRenamed, name, backup, Platform::LastError());
  if (!result.MoveTo(name)) {
    const std::string why = Platform::LastError();
    if (!linked) Platform::RenameFile(backup, name);
    ZYNError::Message(ZYNError::tKind::kNotWritten, name, why);
  }
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  // Greedy matching with one backtrack point: linear in practice, never exponential.
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t at = 0;
  for (std::size_t slash; (slash = path.find('/', at)) != std::string_view::npos; at = slash + 1)
    parts.push_back(path.substr(at, slash - at));
  parts.push_back(path.substr(at));
  return parts;
}

// Whether the path's components match the pattern's, "**" standing for any number of folders (never the
// file name). Row by row over the pattern: time of the product of the two counts, whatever the stars.
bool PathMatch(std::span<const std::string_view> pattern, std::span<const std::string_view> path) {
  // reach[j]: the pattern so far matches the first j components of the path.
  std::vector<char> reach(path.size() + 1, 0), next(path.size() + 1);
  reach[0] = 1;
  for (const std::string_view part : pattern) {
    std::fill(next.begin(), next.end(), 0);
    for (std::size_t j = 0; j <= path.size(); ++j) {
      if (part == "**") {
        next[j] = reach[j] || (j > 0 && next[j - 1] && j < path.size());
      } else if (j > 0) {
        next[j] = reach[j - 1] && WildcardMatch(part, path[j - 1]);
      }
    }
    reach.swap(next);
  }
  return reach[path.size()] != 0;
}

// The links among the paths (`found`) and the temporary files, as the list gives them.
void AddLinksAndLeftovers(const std::vector<std::string>& paths, const std::vector<std::string>& found,
                          const std::string& prefix, std::unordered_set<std::string>* links,
                          std::vector<std::string>* leftovers) {
  if (links != nullptr)
    for (const std::string& name : found) links->insert(prefix + name);
  if (leftovers == nullptr) return;
  for (const std::string& path : paths)
    if (Platform::IsTemporaryName(std::string_view(path).substr(path.rfind('/') + 1))) leftovers->push_back(prefix + path);
  std::sort(leftovers->begin(), leftovers->end());
}

void AddSorted(std::vector<std::string>& names, const std::string& prefix, Queue::tQueue& list) {
  std::erase_if(names, [](const std::string& name) { return IsBackupName(name); });
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) list.Add(std::make_unique<ZYNData::tStringNodeDesc>(prefix + name));
}

}  // namespace

void GetTreeList(const std::string& folder, Queue::tQueue& list, std::vector<Platform::tSkipped>* skipped,
                 std::vector<std::string>* others, std::unordered_set<std::string>* links,
                 std::vector<std::string>* leftovers) {
  list.Init();
  std::vector<std::string> paths, found;
  if (!Platform::WalkTree(folder, paths, skipped, &found)) return;
  const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
  AddLinksAndLeftovers(paths, found, prefix, links, leftovers);
  const auto other = std::partition(paths.begin(), paths.end(), [](const std::string& p) { return p.ends_with(".class"); });
  if (others != nullptr) {
    for (auto it = other; it != paths.end(); ++it)
      if (!IsBackupName(*it)) others->push_back(prefix + *it);
    std::sort(others->begin(), others->end());
  }
  paths.erase(other, paths.end());
  AddSorted(paths, prefix, list);
}

void GetFileList(const std::string& pattern, Queue::tQueue& list, std::vector<Platform::tSkipped>* skipped,
                 std::unordered_set<std::string>* links, std::vector<std::string>* leftovers) {
  list.Init();
  const std::vector<std::string_view> parts = Components(pattern);
  if (const auto star = std::find(parts.begin(), parts.end() - 1, "**"); star != parts.end() - 1) {
    // The folders before the first "**" are taken as they are, and walked.
    const std::size_t base = static_cast<std::size_t>(star - parts.begin());
    std::string folder;
    for (std::size_t i = 0; i < base; ++i) folder.append(parts[i]).append("/");
    std::vector<std::string> paths, found;
    if (!Platform::WalkTree(folder, paths, skipped, &found)) return;
    AddLinksAndLeftovers(paths, found, folder, links, leftovers);
    const std::span<const std::string_view> rest(parts.data() + base, parts.size() - base);
    std::erase_if(paths, [&](const std::string& path) { return !PathMatch(rest, Components(path)); });
    AddSorted(paths, folder, list);
    return;
  }
  const auto slash = pattern.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  const std::string namePattern = pattern.substr(directory.size());
  std::vector<std::string> names, found;
  if (namePattern.empty() || !Platform::ListRegularFiles(directory, names, &found)) return;
  AddLinksAndLeftovers(names, found, directory, links, leftovers);
  std::erase_if(names, [&](const std::string& name) { return !WildcardMatch(namePattern, name); });
  AddSorted(names, directory, list);
}

}  // namespace FileModule
