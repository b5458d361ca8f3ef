// The file list of module FileModule (the wildcard pattern, a tree's files), the backup names, and the commit
// that puts a written file in place with its backup: the module's side that works on the file system.
// Uses: Platform, Queue, ZYNData, ZYNError.
#pragma once
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "Platform.h"
#include "Queue.h"

namespace FileModule {

// Empties the list and fills it with the regular files that match the pattern (backups never) (* and ? in its last
// component), sorted by name, each with the pattern's directory part in front. A folder component "**"
// matches zero or more folders (links to folders are not followed), and then the folder components after the
// one before it may hold * and ? too; those files are sorted by their path.
// The listed files that are links, or may be, are added to `links` as listed; the temporary files among the
// files it looked at (Platform::IsTemporaryName), to `leftovers`.
void GetFileList(const std::string& pattern, Queue::tQueue& list, std::vector<Platform::tSkipped>* skipped = nullptr,
                 std::unordered_set<std::string>* links = nullptr, std::vector<std::string>* leftovers = nullptr);
// Empties the list and fills it with every "*.class" file below the folder, sorted by the byte order of
// their paths from it, each with the folder in front.
// The tree's other files (not backups) are added to `others`, with the folder in front, sorted.
// Links among the listed files go to `links`, and temporary files to `leftovers`, as GetFileList's do.
void GetTreeList(const std::string& folder, Queue::tQueue& list, std::vector<Platform::tSkipped>* skipped = nullptr,
                 std::vector<std::string>* others = nullptr, std::unordered_set<std::string>* links = nullptr,
                 std::vector<std::string>* leftovers = nullptr);
// Whether the file name is a backup's or a temporary file's: its last suffix begins with "~" (Foo.~class,
// app.~jar). No file list takes such a file.
bool IsBackupName(std::string_view name);
// The backup name: the last "."-suffix of the file name replaced by ".~class", or ".~class" appended. An
// archive's keeps its own suffix after the "~" (app.jar: app.~jar), and takes ".~zip" when it has none.
std::string BackupName(const std::string& name, bool archive = false);
// Makes the backup as a second name of the file, before the result takes the name: at no moment is the name
// missing, whenever the run is stopped. False, with nothing done, where the file system has no hard links.
bool LinkBackup(const std::string& name, const std::string& backup);
// What LinkBackup does after its first step (the second name made where there was none) failed: a backup
// that is there replaced in one step.
bool ReplaceBackup(const std::string& name, const std::string& backup);
// Puts the written temporary file in place: the file kept under its backup name (made already when `linked`)
// and the temporary file moved to the file's name, or with `old` the temporary file moved to the backup name.
// Errors end the run.
void Commit(const std::string& name, Platform::TempFile& result, bool archive, bool old, bool linked);
// Whether name matches the wildcard pattern: * any run of characters, ? any single character.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace FileModule
