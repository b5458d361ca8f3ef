#include "ZYNMain.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <deque>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "FileModule.h"
#include "FileModuleList.h"
#include "FormatUtils.h"
#include "Platform.h"
#include "ZYNArchive.h"
#include "ZYNBatch.h"
#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNExplain.h"
#include "ZYNJson.h"
#include "ZYNMap.h"
#include "ZYNNest.h"
#include "ZYNReport.h"
#include "ZYNRules.h"
#include "ZYNRerun.h"
#include "ZYNVersion.h"
#include "ZYNZip.h"

namespace ZYNMain {

using enum ZYNError::tKind;

namespace {

using FormatUtils::PrintLine;
using ZYNClass::tFileResult;
using ZYNData::tParams;

constexpr std::string_view kKeepKey = "-keep:";
constexpr std::string_view kMapKey = "-map:";
constexpr std::string_view kUsageKey = "-usage:";
constexpr std::string_view kWhyKey = "-why:";
constexpr std::string_view kReportKey = "-report:";
constexpr std::string_view kRulesKey = "-rules:";
constexpr unsigned kMaxThreads = 256;

std::string TakeWord(Queue::tQueue& queue) {
  std::unique_ptr<Queue::tNodeRec> node = queue.Get();
  auto* word = dynamic_cast<ZYNData::tStringNodeDesc*>(node.get());
  if (word == nullptr) ZYNError::Message(kEmptyQueue);
  return std::move(word->str);
}

// A key that names a file (-map:FILE): false for another key; a key without the name ends the run.
bool FileKey(std::string_view key, std::string_view prefix, ZYNError::tKind bad, std::string& file) {
  if (!key.starts_with(prefix)) return false;
  file = key.substr(prefix.size());
  if (file.empty()) ZYNError::Message(bad, file);
  return true;
}

// A key that gives a member pattern (-keep:NAME): false for another key; a bad pattern ends the run.
bool PatternKey(std::string_view key, std::string_view prefix, ZYNError::tKind bad,
                std::vector<ZYNData::tKeepPattern>& patterns) {
  if (!key.starts_with(prefix)) return false;
  if (!ZYNData::ParseKeep(key.substr(prefix.size()), patterns.emplace_back()))
    ZYNError::Message(bad, key.substr(prefix.size()));
  return true;
}

// The keys that each set one option.
constexpr std::pair<std::string_view, bool tParams::*> kFlagKeys[] = {
    {"-tst", &tParams::tst},     {"-src", &tParams::src},       {"-lin", &tParams::lin},   {"-var", &tParams::var},
    {"-noren", &tParams::noren}, {"-nowarn", &tParams::nowarn}, {"-depr", &tParams::depr}, {"-synt", &tParams::synt},
    {"-uattr", &tParams::uattr}, {"-old", &tParams::old},       {"-pack", &tParams::pack}};

// Applies a key; false when the word is not a key.
bool ApplyKey(std::string_view key, tParams& p) {
  const auto* flag = std::ranges::find(kFlagKeys, key, [](const auto& k) { return k.first; });
  if (flag != std::end(kFlagKeys)) p.*flag->second = true;
  else if (key == "-dbg") p.var = p.lin = p.src = true;
  else if (key == "-max") {
    p.var = p.lin = p.src = p.uattr = p.depr = true;
    p.noren = p.synt = false;
  } else if (key == "-super") {
    p.var = p.lin = p.src = p.uattr = p.depr = p.synt = true;
    p.noren = false;
  } else if (std::string rules; FileKey(key, kRulesKey, kBadRulesFile, rules)) {
    p.rules.push_back(std::move(rules));
  } else if (!PatternKey(key, kKeepKey, kBadKeepPattern, p.keep) && !PatternKey(key, kWhyKey, kBadWhyPattern, p.why) &&
             !FileKey(key, kMapKey, kBadMapFile, p.map) && !FileKey(key, kUsageKey, kBadUsageFile, p.usage) &&
             !FileKey(key, kReportKey, kBadReportFile, p.report)) {
    return false;
  }
  return true;
}

// A class file that the names pass read, kept for the core within the run's budget of held input.
struct tKept {
  std::unique_ptr<std::uint8_t[]> data;  // nothing when it was not kept
  std::size_t size = 0;
  Platform::tFileId id;  // the file when it was read: the bytes stand for it while it shows the same
  // In a writing run, the lock through which the file was read, so that it is opened once; taken over by the
  // core while the file is as it was.
  Platform::FileLock lock;
  bool locked = false;  // the lock holds the file (it counts in the kept room)
  std::span<const std::uint8_t> Bytes() const { return {data.get(), size}; }
};

// The files a run may keep open: the locks of files read for later (kept) and the originals held locked after
// their commit (held), each within its share so that together they stay within what the process may open.
// The held ones need no more than one per listed file: a run of fewer files than three quarters of the room
// leaves the rest to the kept ones, so that each of its files is opened once.
struct tLockRooms {
  std::size_t kept = 0, held = 0;
};
tLockRooms LockRooms(std::size_t files) {
  static const std::size_t room = Platform::OpenFileRoom();
  const std::size_t kept = std::max(room / 4, room - std::min(room, files));
  return {kept, room - kept};
}

// A listed file's result: a class file's, or that it is an archive, which is processed in its turn.
struct tListed {
  tFileResult result;
  bool archive = false;
  // Its error line, which itself takes memory, is made by the thread that prints it.
  bool outOfMemory = false;
  Platform::FileLock lock;  // held until the file is committed, when it is to be written
  // The result written beside the file by the thread that made it (the bytes are not kept), or why it
  // could not be (nothing written), reported in the file's turn.
  std::unique_ptr<Platform::TempFile> written;
  std::string notWritten;
  std::optional<Platform::tFileMode> mode;  // the file's owner and mode, when taking it looked at them
  bool backedUp = false;  // its backup is linked already (or stays as it is: it holds the original)
  bool done = false;      // an earlier run made it: nothing is written, its line is the result's
  std::size_t size = 0;
  bool grouped = false;       // a later class of a nest: the result came with the nest's first class
  std::vector<tListed> rest;  // with a nest's first class: the results of its other classes, in list order
};

// What reading a listed file found: its bytes in the buffer (a class file, or the first piece of a file that
// the core will say is none), an archive, or nothing readable.
enum class tRead { Failed, Class, Archive };

// Only a file that starts as a class file is read whole; any other is known by its first piece and its end.
// Read through the lock when it holds the file.
tRead ReadListed(const std::string& name, Platform::FileBuffer& buffer, const Platform::FileLock* lock = nullptr) {
  if (!(lock != nullptr ? lock->Read(buffer, ZYNArchive::MayBeClassFile)
                        : Platform::ReadFile(name, buffer, ZYNArchive::MayBeClassFile)))
    return tRead::Failed;
  const std::span<const std::uint8_t> head = buffer.Bytes().first(std::min<std::size_t>(buffer.Bytes().size(), 4));
  if (ZYNArchive::MayBeClassFile(head)) return tRead::Class;
  std::vector<std::uint8_t> end;
  if (Platform::ReadFileEnd(name, ZYNZip::kEndArea, end) && ZYNZip::IsArchive(end)) return tRead::Archive;
  return tRead::Class;
}

// Writes the result to a temporary file beside the class file, on the thread that made it.
void WriteBeside(const std::string& name, tListed& listed) {
  listed.size = listed.result.bytes.size();
  listed.written = std::make_unique<Platform::TempFile>();
  if (listed.written->Create(name, listed.mode ? &*listed.mode : nullptr)) listed.written->Write(listed.result.bytes);
  if (!listed.written->Created() || !listed.written->Close(false)) {
    listed.notWritten = Platform::LastError();
    listed.written.reset();
  }
  listed.result.bytes = std::vector<std::uint8_t>();
}

// Whether another run holds the file: it is rewriting it, or it moved that original to this backup name and
// has not ended (a run keeps the originals it replaced locked until then).
bool Busy(const std::string& file) {
  return Platform::FileLock().Acquire(file) == Platform::FileLock::kBusy;
}

// Makes the backup of a class file whose result is written, in its turn before its line: where there is no
// backup yet, its second name in one step; where one is there and another run holds it, its result is that
// error instead (replacing it would lose that run's original). A backup that is there otherwise is replaced
// when the result is committed.
void BackUp(const std::string& name, tListed& listed) {
  const std::string backup = FileModule::BackupName(name, false);
  listed.backedUp = Platform::LinkFile(name, backup);
  if (!listed.backedUp && Busy(backup)) {
    listed.result = tFileResult();
    listed.result.error = ZYNError::Make(kBeingProcessed, name);
    listed.written.reset();
  }
}

// Takes a listed file for the core: locks it for writing and finds its bytes, those the names pass kept, or
// the file read into the buffer. Nothing when there is no class to optimize (listed then holds the error, or
// that the file is an archive).
std::optional<std::span<const std::uint8_t>> TakeFile(const std::string& name, tKept& kept,
                                                      Platform::FileBuffer& buffer, const tParams& params,
                                                      tListed& listed) {
  // A run that writes nothing reports on the bytes the names pass read (its facts come from them); one that
  // writes uses them only while the name still shows the same file, or it could put back what was replaced.
  Platform::tFileId now;
  Platform::tFileMode mode;
  const bool looked = kept.data && !params.tst && Platform::FileIdOf(name, now, &mode);
  if (looked) listed.mode = mode;  // what its result takes over, from this look rather than another
  bool same = kept.data && (params.tst || (looked && now == kept.id));
  const bool lockedEarlier = same && kept.locked;
  if (lockedEarlier) listed.lock = std::move(kept.lock);
  kept.lock = Platform::FileLock();  // a file that changed is locked again, as it is now
  kept.locked = false;
  // Another run holds the file, or the original it moved to the name an archive's backup would take (the
  // backup of a class file is looked at when it is made: BackUp).
  const auto archiveBackupHeld = [&name] {
    const std::string archiveBackup = FileModule::BackupName(name, true);
    return archiveBackup != FileModule::BackupName(name, false) && Busy(archiveBackup);
  };
  if (!params.tst && ((!lockedEarlier && listed.lock.Acquire(name) == Platform::FileLock::kBusy) ||
                      (!params.old && archiveBackupHeld()))) {
    listed.result.error = ZYNError::Make(kBeingProcessed, name);
    return std::nullopt;
  }
  // Locked only now: the bytes stand for what the lock holds.
  if (same && !params.tst && !lockedEarlier) same = listed.lock.Id() == kept.id;
  if (same) return kept.Bytes();
  switch (ReadListed(name, buffer)) {
    case tRead::Failed: listed.result.error = ZYNError::Make(kNotOpen, name); break;
    case tRead::Archive: listed.archive = true; break;
    case tRead::Class: return buffer.Bytes();
  }
  return std::nullopt;
}

// Runs the core on a listed file and writes its result beside it.
tListed OptimizeNamed(const std::string& name, tKept kept, Platform::FileBuffer& buffer, const tParams& params,
                      const ZYNHierarchy::tRunFacts& facts) {
  tListed listed;
  try {
    if (const auto bytes = TakeFile(name, kept, buffer, params, listed)) {
      listed.result = ZYNClass::OptimizeFile(*bytes, params, ZYNClass::ReduceMembers, ZYNClass::tWrite::AsKeys, &facts);
      if (!params.tst && listed.result.error.empty()) WriteBeside(name, listed);
    }
  } catch (const std::bad_alloc&) {
    listed.outOfMemory = true;
  }
  return listed;
}

// The class files of a nest, taken and optimized as one unit, each result written beside its file; each as a
// file of its own when one of them is no class file now (then the nest is not what the names pass found).
// `backups`: by member, the backup that an earlier run made of a done one, or empty. A done member takes part
// as its backup, and is written only where the nest now makes of it what it does not hold (another member was
// recompiled since), its backup staying the original.
std::vector<tListed> OptimizeGroup(const std::vector<std::string>& names, const std::vector<std::size_t>& group,
                                   std::vector<tKept>& kept, const tParams& params,
                                   const ZYNHierarchy::tRunFacts& facts, const std::vector<std::string>& backups) {
  std::vector<Platform::FileBuffer> buffers(group.size()), originals(group.size());
  try {
    std::vector<tListed> listed(group.size());
    std::vector<std::span<const std::uint8_t>> classes, now;
    for (std::size_t i = 0; i < group.size(); ++i) {
      const auto bytes = TakeFile(names[group[i]], kept[i], buffers[i], params, listed[i]);
      if (!bytes) break;
      now.push_back(*bytes);
      if (backups[i].empty()) classes.push_back(*bytes);
      else if (Platform::ReadFile(backups[i], originals[i])) classes.push_back(originals[i].Bytes());
      else break;
    }
    if (classes.size() == group.size()) {
      ZYNData::tParams making = params;
      making.tst = false;  // a done member's result is compared, also where nothing is written
      std::vector<tFileResult> results = ZYNNest::OptimizeNest(classes, &facts, making);
      for (std::size_t i = 0; i < group.size(); ++i) {
        listed[i].result = std::move(results[i]);
        if (!backups[i].empty() && listed[i].result.error.empty()) {
          listed[i].backedUp = true;
          listed[i].done = std::ranges::equal(listed[i].result.bytes, now[i]);
        }
        if (!params.tst && !listed[i].done && listed[i].result.error.empty()) WriteBeside(names[group[i]], listed[i]);
        listed[i].result.bytes = std::vector<std::uint8_t>();
      }
      return listed;
    }
  } catch (const std::bad_alloc&) {
    // One by one, as every other file goes, needs less at once.
  }
  std::vector<tListed> alone;
  for (std::size_t i = 0; i < group.size(); ++i)
    alone.push_back(OptimizeNamed(names[group[i]], std::move(kept[i]), buffers[0], params, facts));
  return alone;
}

// Class files written but not yet in place. Flushing each to the disk before it takes its name would cost
// far more than the run; instead their results wait under temporary names until one sync of the file
// systems puts them all on the disk, then take their names in list order. The original keeps its name
// until then, its backup made at once as a second name.
class tPending {
public:
  static constexpr std::size_t kMaxFiles = 64;
  static constexpr std::size_t kMaxBytes = 64u << 20;

  // Each waiting result keeps two files open, itself and its original's lock, as does each result made ahead
  // of the one taken: where the process may open few files, fewer wait.
  static std::size_t MaxFiles() { return std::clamp<std::size_t>(Platform::OpenFileRoom() / 4, 1, kMaxFiles); }

  tPending(bool old, std::vector<Platform::FileLock>& held, std::size_t heldRoom)
      : old_(old), held_(held), heldRoom_(heldRoom), maxFiles_(MaxFiles()) {}
  tPending(const tPending&) = delete;
  tPending& operator=(const tPending&) = delete;
  // An error ends the run: the files before it still take their results.
  ~tPending() {
    try {
      Flush();
    } catch (...) {
    }
  }

  // Takes the result written beside the file and makes its backup (unless -old).
  void Add(const std::string& name, tListed& listed) {
    if (!listed.written)
      ZYNError::Message(kNotWritten, old_ ? FileModule::BackupName(name) : name, listed.notWritten);
    tFile& f = files_.emplace_back(name, std::move(listed.lock), std::move(listed.written));
    bytes_ += listed.size;
    const std::string backup = FileModule::BackupName(name);
    if (old_) {
      if (Platform::IsDirectory(backup)) {
        files_.pop_back();
        ZYNError::Message(kNotWritten, backup, "Is a directory");
      }
    } else {
      try {
        f.linked = listed.backedUp || FileModule::ReplaceBackup(name, backup);
      } catch (...) {
        files_.pop_back();
        throw;
      }
    }
    if (files_.size() >= maxFiles_ || bytes_ >= kMaxBytes || !f.linked) Flush();
  }

  // Puts every waiting result in place.
  void Flush() {
    if (files_.empty()) return;
    std::vector<std::string> temps;
    for (const tFile& f : files_) temps.push_back(f.result->Where());
    Platform::SyncFileSystems(temps);
    std::deque<tFile> files = std::exchange(files_, {});
    bytes_ = 0;
    for (tFile& f : files) {
      FileModule::Commit(f.name, *f.result, false, old_, f.linked);
      Hold(std::move(f.lock));
    }
  }

  // The original a run replaced stays locked (under its backup name) until the run ends, so that a second run
  // does not take the result for the original; as far as the process may keep files open.
  void Hold(Platform::FileLock lock) {
    if (held_.size() < heldRoom_) held_.push_back(std::move(lock));
  }

private:
  struct tFile {
    tFile(std::string name, Platform::FileLock lock, std::unique_ptr<Platform::TempFile> result)
        : name(std::move(name)), lock(std::move(lock)), result(std::move(result)) {}
    std::string name;
    Platform::FileLock lock;
    std::unique_ptr<Platform::TempFile> result;
    bool linked = false;  // the backup is made
  };
  const bool old_;  // -old: the results go to the backup names
  std::vector<Platform::FileLock>& held_;
  const std::size_t heldRoom_;
  const std::size_t maxFiles_;
  std::deque<tFile> files_;
  std::size_t bytes_ = 0;
};

// The file a name stands for, as writing replaces it: the folder resolved, the last component not (a
// link there is itself replaced). Folders are resolved once each.
class FileIdentity {
public:
  std::string Written(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : name.substr(0, slash);
    auto [it, added] = folders_.try_emplace(directory);
    if (added) it->second = Platform::RealPath(directory.empty() ? "/" : directory);
    return it->second.empty() ? name : it->second + "/" + name.substr(slash + 1);
  }
  // The file a link stands for, as reading finds it; nothing where the name is no link (reading finds what
  // Written gives).
  static std::optional<std::string> Followed(const std::string& name) {
    if (Platform::IsSymbolicLink(name))
      if (std::string target = Platform::RealPath(name); !target.empty()) return target;
    return std::nullopt;
  }

private:
  std::unordered_map<std::string, std::string> folders_;
};

// The names of the classes of a listed file: its own, or its entries' when it is an archive.
struct tListedNames {
  std::vector<ZYNHierarchy::tClassFacts> classes;
  ZYNHierarchy::tNestNames nest;  // a class file's
  tKept kept;  // a class file's bytes, when the budget had room for them
  bool archive = false;
  bool outOfMemory = false;  // names left out would change what other classes may do: the run ends
  std::string backup;        // the backup its names were read from, or empty
};

// How the names pass reads: on how many threads an archive is read, what the archives may hold in memory, and
// `locks`: in a writing run, the room for files kept open under their lock (read through it), else null.
struct tNamesReading {
  unsigned threads;
  ZYNArchive::tMemory& memory;
  ZYNBatch::tHeld* locks;
};

// `facts`: where the file is the run's only one, the run's facts, which an archive's classes go to as they are
// read (nothing else adds to them meanwhile), else null. `fromBackup`: the names are those of the file's
// backup, where it has one (a file that an earlier run made: its facts are its original's).
tListedNames NamesOf(const std::string& name, Platform::FileBuffer& buffer, const tNamesReading& how,
                     ZYNHierarchy::tRunFacts* facts, bool fromBackup) {
  ZYNArchive::tMemory& memory = how.memory;
  tListedNames listed;
  try {
    Platform::FileLock lock;
    bool locked = false;
    if (how.locks != nullptr && how.locks->TryTake(1)) {
      locked = lock.Acquire(name) == Platform::FileLock::kLocked && lock.Holds();
      if (!locked) {
        lock = Platform::FileLock();
        how.locks->Give(1);
      }
    }
    const tRead read = ReadListed(name, buffer, locked ? &lock : nullptr);
    if (fromBackup && read != tRead::Failed)
      if (std::string backup = FileModule::BackupName(name, read == tRead::Archive); Platform::IsFile(backup))
        listed.backup = std::move(backup);
    const std::string& source = listed.backup.empty() ? name : listed.backup;
    if (read == tRead::Archive) {
      listed.archive = true;
      if (Platform::MappedFile archive; archive.Map(source))
        ZYNArchive::ReadNames(name, archive.Bytes(), how.threads, memory, [&](ZYNHierarchy::tClassFacts&& c) {
          if (facts != nullptr) facts->Add(std::move(c));
          else listed.classes.push_back(std::move(c));
        });
    } else if (read == tRead::Class) {
      Platform::FileBuffer original;
      const bool fromOriginal = !listed.backup.empty() && Platform::ReadFile(listed.backup, original);
      if (ZYNHierarchy::tClassNames names;
          ZYNHierarchy::ReadNames(fromOriginal ? original.Bytes() : buffer.Bytes(), names)) {
        listed.nest = ZYNHierarchy::TakeNestNames(names);
        listed.classes.emplace_back(std::move(names));
      }
      const std::span<const std::uint8_t> bytes = buffer.Bytes();
      if (ZYNArchive::MayBeClassFile(bytes.first(std::min<std::size_t>(bytes.size(), 4))) &&
          memory.held.TryTake(bytes.size())) {
        listed.kept.size = bytes.size();
        listed.kept.id = buffer.Id();
        listed.kept.data = buffer.Take();
        listed.kept.lock = std::move(lock);
        listed.kept.locked = std::exchange(locked, false);
      }
    }
    if (locked) how.locks->Give(1);
  } catch (const std::bad_alloc&) {
    listed.outOfMemory = true;
  }
  return listed;
}

// The words of the run's resource files: the non-class entries of its archives and the other files of a
// folder's tree.
void ReadResources(const std::vector<std::string>& archives, const std::vector<std::string>& others,
                   ZYNArchive::tMemory& memory, ZYNHierarchy::tRunFacts& facts) {
  for (const std::string& name : archives)
    if (Platform::MappedFile file; file.Map(name)) ZYNArchive::ReadWords(file.Bytes(), name, memory, facts);
  std::vector<std::uint8_t> text;
  for (const std::string& name : others)
    if (Platform::ReadFileUpTo(name, ZYNHierarchy::kMaxResourceText, text)) facts.AddResource(text, name);
}

// How far the names pass may read beyond the window: what a unit hands over (names, kept bytes within the
// run's budget) all stays for the run anyway, and the thread that takes them adds each to the run's facts,
// which the others should not wait for.
constexpr std::size_t kNamesAhead = 64;

// What the names pass found of the listed files, by place in the list: the kind, the bytes kept for the core,
// what each loose class file says of its nest (nothing for an archive or what is no class), and the backup its
// names came from (or empty).
struct tRunRead {
  std::vector<bool> isArchive;
  std::vector<tKept> kept;
  std::vector<ZYNHierarchy::tNestNames> nests;
  std::vector<std::string> backups;
};

// The classes of the whole run, read on every thread before any is optimized; the first of a name in list
// order stands for it, so every thread count sees the same. `others`: the other files of a folder run's tree.
// `fromBackup`: by listed file, whether its names are its backup's where it has one (none when empty).
ZYNHierarchy::tRunFacts ReadRun(const std::vector<std::string>& names, const std::vector<std::string>& others,
                                const tNamesReading& how, const std::vector<bool>& fromBackup, tRunRead& read) {
  const unsigned threads = how.threads;
  ZYNHierarchy::tRunFacts facts;
  // An archive among several files is read on the thread that has it; alone, on every thread.
  const unsigned inner = names.size() > 1 ? 1 : threads;
  std::vector<Platform::FileBuffer> buffers(threads);
  std::vector<std::string> archives;
  read.kept.resize(names.size());
  read.nests.reserve(names.size());
  ZYNBatch::ForEachInOrder(
      names.size(), threads,
      [&](std::size_t k, unsigned slot) {
        return NamesOf(names[k], buffers[slot], {inner, how.memory, how.locks}, names.size() == 1 ? &facts : nullptr,
                       k < fromBackup.size() && fromBackup[k]);
      },
      [&](std::size_t k, tListedNames listed) {
        if (listed.outOfMemory) throw std::bad_alloc();
        read.nests.push_back(std::move(listed.nest));
        for (ZYNHierarchy::tClassFacts& c : listed.classes) facts.Add(std::move(c));
        if (listed.archive) archives.push_back(names[k]);
        read.kept[k] = std::move(listed.kept);
        read.isArchive.push_back(listed.archive);
        read.backups.push_back(std::move(listed.backup));
        return true;
      },
      {.ahead = kNamesAhead});
  facts.Finish();
  ReadResources(archives, others, how.memory, facts);
  return facts;
}

// Two files of one backup name would lose the first one's original: refused before anything is written.
void CheckBackupNames(const std::vector<std::string>& names, const std::vector<bool>& isArchive) {
  std::unordered_map<std::string, std::size_t> owner;
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string backup = FileModule::BackupName(names[k], k < isArchive.size() && isArchive[k]);
    const auto [it, added] = owner.try_emplace(backup, k);
    if (!added) ZYNError::Message(kSameBackup, names[it->second], names[k], backup);
  }
}

// The files that read what an earlier file's writing replaces (its backup name is this file, or this file is
// a link to one): they run in their turn, once that one is written. A file may turn out to be an archive, so
// both backup names count.
// `links`: the listed files that are links, or may be (the others are read where they are).
std::vector<bool> ReadsWritten(const std::vector<std::string>& names, const std::unordered_set<std::string>& links,
                               const tParams& params) {
  std::vector<bool> inTurn(names.size(), false);
  if (params.tst) return inTurn;
  FileIdentity identity;
  std::unordered_set<std::string> written;
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::string self = identity.Written(names[k]);
    const std::optional<std::string> target =
        links.contains(names[k]) ? FileIdentity::Followed(names[k]) : std::nullopt;
    inTurn[k] = written.contains(target ? *target : self);
    const std::string backup = FileModule::BackupName(names[k], false);
    const std::string archiveBackup = FileModule::BackupName(names[k], true);
    written.insert(identity.Written(backup));
    if (archiveBackup != backup) written.insert(identity.Written(archiveBackup));
    if (!params.old) written.insert(std::move(self));
  }
  return inTurn;
}

// Lists the files of the file parameter; `others`: a tree's files that are not classes (resources).
// `links`: the listed files that are links, or may be.
std::vector<std::string> ListFiles(const tParams& params, Queue::tQueue& words, std::vector<std::string>& others,
                                   std::unordered_set<std::string>& links, ZYNReport::tReport& report) {
  const bool tree = Platform::IsDirectory(params.file);
  const std::string path = FileParameter(params.file, tree);
  std::vector<Platform::tSkipped> skipped;
  std::vector<std::string> leftovers;
  if (tree) FileModule::GetTreeList(path, words, &skipped, &others, &links, &leftovers);
  else FileModule::GetFileList(path, words, &skipped, &links, &leftovers);
  for (const Platform::tSkipped& s : skipped) report.Skipped(s);
  // What a killed run left behind (no running one holds it) goes; a run that writes nothing leaves it.
  if (!params.tst)
    for (const std::string& leftover : leftovers)
      if (Platform::RemoveLeftover(leftover)) report.LeftoverRemoved(leftover);
  // A backup is never listed: named alone, it is refused (writing it would replace the file it keeps).
  if (!tree && path.find_first_of("*?") == std::string::npos && FileModule::IsBackupName(path) && Platform::IsFile(path))
    ZYNError::Message(kIsBackup, path);
  if (!words.NotEmpty()) ZYNError::Message(kNotFound, path);
  std::vector<std::string> names;
  while (words.NotEmpty()) names.push_back(TakeWord(words));
  return names;
}

// The nests among the loose class files, each run as one unit by its first class; none holds a file that
// reads what an earlier file's writing replaces, which must wait for its turn.
class tNests {
public:
  tNests(const std::vector<ZYNHierarchy::tNestNames>& nests, const std::vector<bool>& inTurn) {
    std::vector<const ZYNHierarchy::tNestNames*> classes;
    for (const ZYNHierarchy::tNestNames& c : nests) classes.push_back(c.name.empty() ? nullptr : &c);
    for (std::vector<std::size_t>& group : ZYNNest::Groups(classes))
      if (std::ranges::none_of(group, [&](std::size_t k) { return inTurn[k]; })) groups_.push_back(std::move(group));
    for (std::size_t g = 0; g < groups_.size(); ++g)
      for (std::size_t k : groups_[g]) of_.emplace(k, g);
  }
  // The nest of file k, or null.
  const std::vector<std::size_t>* Of(std::size_t k) const {
    const auto it = of_.find(k);
    return it == of_.end() ? nullptr : &groups_[it->second];
  }
  std::vector<bool> Later(std::size_t count) const { return ZYNNest::Later(count, groups_); }
  const std::vector<std::vector<std::size_t>>& Groups() const { return groups_; }

private:
  std::vector<std::vector<std::size_t>> groups_;
  std::unordered_map<std::size_t, std::size_t> of_;
};

// What a run decides before its first file: its options and threads, the listed files, what the names pass
// read and kept of them and the facts it found, which files wait for their turn, and which an earlier run made.
struct tRunPlan {
  tRunPlan(const tParams& params, unsigned threads, std::vector<std::string> names)
      : params(params), threads(threads), names(std::move(names)), locks(LockRooms(this->names.size()).kept) {}
  const tParams& params;
  const unsigned threads;
  const std::vector<std::string> names;
  std::vector<std::string> others;  // a tree's files that are not classes (resources)
  std::unordered_set<std::string> links;
  ZYNArchive::tMemory memory;  // what the archives of the run may hold at once, whatever the thread count
  ZYNBatch::tHeld locks;       // files kept open under their lock, read through it
  tRunRead read;
  ZYNHierarchy::tRunFacts facts;
  std::vector<bool> inTurn;
  std::vector<ZYNRerun::tVerdict> verdicts;  // by listed file; none under -old
  bool Done(std::size_t k) const { return k < verdicts.size() && verdicts[k].done; }
};

// Optimizes the listed files on every thread and commits them in list order: a class file's line reported and
// its result written, an archive processed in its turn. A file that an earlier run made is not written: its
// line is that of its backup.
class tOptimizeAll {
public:
  tOptimizeAll(tRunPlan& plan, ZYNReport::tReport& report)
      : plan_(plan), report_(report), pending_(plan.params.old, held_, LockRooms(plan.names.size()).held),
        buffers_(plan.threads), grouped_(plan.read.nests, plan.inTurn) {}

  // False when an error ended the run (its line reported).
  bool Run() {
    // The taking thread stops for a while at each archive and each sync of the held-back files: the workers may
    // get that much further ahead, which class files cost little memory for.
    const std::size_t n = plan_.names.size();
    if (!ZYNBatch::ForEachInOrder(
            n, plan_.threads, [this](std::size_t k, unsigned slot) { return Unit(k, slot); },
            [this](std::size_t k, tListed listed) { return Take(k, std::move(listed)); },
            {plan_.inTurn, tPending::MaxFiles(), grouped_.Later(n)}))
      return false;
    pending_.Flush();
    return true;
  }

private:
  // The bytes and lock the names pass kept for a file, handed over once; what they took of the run's room is
  // given back once the unit is done with them.
  struct tTaken {
    std::size_t bytes = 0;
    bool lock = false;
  };
  tKept TakeKept(std::size_t k, std::vector<tTaken>& taken) {
    tKept& kept = plan_.read.kept[k];
    taken.push_back({kept.data ? kept.size : 0, kept.locked});
    return std::move(kept);
  }
  void GiveBack(const std::vector<tTaken>& taken) {
    for (const tTaken& t : taken) {
      plan_.memory.held.Give(t.bytes);
      if (t.lock) plan_.locks.Give(1);
    }
  }

  // A nest, run as one unit by its first class; the later ones wait for it.
  tListed Nest(std::size_t k, const std::vector<std::size_t>& group) {
    tListed listed;
    if (group.front() != k) {
      listed.grouped = true;
      return listed;
    }
    std::vector<tTaken> taken;
    std::vector<tKept> bytes;
    std::vector<std::string> backups;
    for (std::size_t j : group) {
      bytes.push_back(TakeKept(j, taken));
      backups.push_back(plan_.Done(j) ? plan_.read.backups[j] : std::string());
    }
    std::vector<tListed> all = OptimizeGroup(plan_.names, group, bytes, plan_.params, plan_.facts, backups);
    bytes.clear();
    GiveBack(taken);
    listed = std::move(all.front());
    listed.rest.assign(std::make_move_iterator(all.begin() + 1), std::make_move_iterator(all.end()));
    return listed;
  }

  tListed Unit(std::size_t k, unsigned slot) {
    if (const std::vector<std::size_t>* group = grouped_.Of(k)) return Nest(k, *group);
    std::vector<tTaken> taken;
    tKept bytes = TakeKept(k, taken);
    if (plan_.Done(k)) {
      tListed listed;
      listed.done = true;
      listed.archive = plan_.read.isArchive[k];
      listed.result = plan_.verdicts[k].result;
      bytes = tKept();
      GiveBack(taken);
      return listed;
    }
    // Runs on the taking thread (the one that writes) when in its turn: what it reads is written first, so
    // the bytes the names pass read are not what it reads. A file it locked may be an original that an
    // earlier commit replaced: it stays locked as those do.
    if (plan_.inTurn[k]) {
      pending_.Flush();
      if (bytes.locked) pending_.Hold(std::move(bytes.lock));
      bytes = tKept();
    }
    tListed listed = OptimizeNamed(plan_.names[k], std::move(bytes), buffers_[slot], plan_.params, plan_.facts);
    GiveBack(taken);
    return listed;
  }

  bool Take(std::size_t k, tListed listed) {
    const tParams& params = plan_.params;
    const std::string& name = plan_.names[k];
    if (listed.grouped) {
      listed = std::move(waiting_.at(k));
      waiting_.erase(k);
    }
    if (const std::vector<std::size_t>* group = grouped_.Of(k); group != nullptr && group->front() == k)
      for (std::size_t i = 1; i < group->size(); ++i) waiting_.emplace((*group)[i], std::move(listed.rest[i - 1]));
    if (listed.outOfMemory) listed.result.error = ZYNError::Make(kNoMemory);
    if (listed.archive && listed.result.error.empty()) {
      pending_.Flush();
      // A done archive's lines are those of its backup, and nothing is written.
      if (!ZYNArchive::Process(name, {plan_.threads, params}, plan_.facts, plan_.memory, report_,
                               listed.done ? plan_.read.backups[k] : ""))
        return false;
      pending_.Hold(std::move(listed.lock));
      return true;
    }
    // A done file is not written: its line is its backup's.
    const bool writes = !params.tst && !listed.done;
    if (writes && !params.old && listed.written && listed.result.error.empty() && !listed.backedUp) BackUp(name, listed);
    if (!report_.File(name, listed.result)) return false;
    if (writes) pending_.Add(name, listed);
    report_.EndLine();
    return true;
  }

  tRunPlan& plan_;
  ZYNReport::tReport& report_;
  std::vector<Platform::FileLock> held_;
  tPending pending_;
  std::vector<Platform::FileBuffer> buffers_;
  const tNests grouped_;
  std::unordered_map<std::size_t, tListed> waiting_;  // later classes of a nest whose first class was taken
};

// Which listed files an earlier run made: each file with a backup is judged by what this run makes of the
// backup, on facts that take the names of those files from their backups (a result's private names are not the
// original's). Where some turn out not done (recompiled since, or a run with other keys), the facts take those
// files' own names and the others are judged again, until the verdicts hold.
void Settle(tRunPlan& plan) {
  const std::vector<std::string>& names = plan.names;
  tRunRead& read = plan.read;
  std::vector<std::string> judged = read.backups;
  for (int round = 0; round < 4; ++round) {
    std::vector<ZYNRerun::tUnit> units(names.size());
    for (std::size_t k = 0; k < names.size(); ++k)
      units[k] = {names[k], judged[k], read.isArchive[k], read.kept[k].Bytes()};
    plan.verdicts = ZYNRerun::Check(units, tNests(read.nests, plan.inTurn).Groups(), plan.params, plan.facts,
                                    plan.threads, plan.memory);
    std::vector<bool> fromBackup(names.size(), false);
    bool changed = false;
    for (std::size_t k = 0; k < names.size(); ++k) {
      fromBackup[k] = plan.verdicts[k].done;
      changed = changed || (!judged[k].empty() && !plan.verdicts[k].done);
      if (!plan.verdicts[k].done) judged[k].clear();
    }
    if (!changed) break;
    // Facts anew, with the names of the files found not done their own (nothing kept: the first pass kept it).
    ZYNArchive::tMemory again;
    tRunRead reread;
    plan.facts = ReadRun(names, plan.others, {plan.threads, again, nullptr}, fromBackup, reread);
    read.nests = std::move(reread.nests);
  }
}

}  // namespace

void Usage() {
  PrintLine("");
  PrintLine("Usage: ZYN [keys] file(s) [keys]");
  PrintLine("");
  PrintLine("keys: -dbg     -- remove all debug information");
  PrintLine("         -var  -- remove local variables tables");
  PrintLine("         -lin  -- remove line numbers tables");
  PrintLine("         -src  -- remove source file information");
  PrintLine("      -depr    -- remove Deprecated attributes");
  PrintLine("      -synt    -- remove Synthetic attributes");
  PrintLine("      -uattr   -- remove undefined attributes");
  PrintLine("      -max     -- maximal reduction without removal of Synthetic attributes");
  PrintLine("      -super   -- maximal reduction including removal of Synthetic attributes");
  PrintLine("      -noren   -- disable members renaming (reduction decreases)");
  PrintLine("      -nowarn  -- ignore and no print warnings");
  PrintLine("      -old     -- old file(s) keep old name(s)");
  PrintLine("      -tst     -- optimization test without rewriting class file(s)");
  PrintLine("      -help    -- printing this text");
  PrintLine("");
  PrintLine("   To optimize many files use wildcards * and ? in the file(s) parameter");
  PrintLine("      -keep:NAME -- keep the private members of classes NAME (a.b.C, a.b.*, a.**, a.b.C#member)");
  PrintLine("      -map:FILE  -- write to FILE the names that renamed members had (read by ReTrace)");
  PrintLine("      -usage:FILE -- write to FILE the private members removed (with -tst: that would be)");
  PrintLine("      -why:NAME  -- print what became of the private members NAME, and why (the -keep: patterns)");
  PrintLine("      -report:FILE -- write to FILE the run as JSON (sizes, errors, what became of private members)");
  PrintLine("      -rules:FILE -- keep what the ProGuard rules in FILE keep (-keep, -keepclassmembers, -if, ...)");
  PrintLine("      -pack      -- order each constant pool for the compressor, deflate rewritten entries hardest");
  PrintLine("      --version  -- print the version of the build (--help and -h: this text)");
}

std::optional<tParams> ParseParams(Queue::tQueue& words, int* stopCode) {
  int ignored = 0;
  int& stop = stopCode != nullptr ? *stopCode : ignored;
  stop = kExitHelp;
  tParams params;
  while (words.NotEmpty()) {
    const std::string w = TakeWord(words);
    if (w.empty()) ZYNError::Message(kEmptyParameter);
    if (w.find_first_of(" \t") != std::string::npos) ZYNError::Message(kInvalidParameter, w);
    if (w[0] != '-') {
      if (!params.file.empty()) ZYNError::Message(kSuperfluousFile, w);
      if (w.size() > ZYNData::kMaxParamLength) ZYNError::Message(kTooLongFile, w);
      params.file = w;
    } else if (w == "-help" || w == "--help" || w == "-h") {
      Usage();
      return std::nullopt;
    } else if (w == "--version") {
      // After the banner, which Run has printed.
      PrintLine(ZYNVersion::Build());
      PrintLine(ZYNVersion::Libraries());
      stop = kExitOk;
      return std::nullopt;
    } else if (ApplyKey(w, params)) {
      params.keys.push_back(w);
    } else {
      ZYNError::Message(kUnknownParameter, w);
    }
  }
  if (params.file.empty()) {
    Usage();
    return std::nullopt;
  }
  return params;
}

std::string FileParameter(const std::string& given, bool tree) {
  return !tree && given.find('.') == std::string::npos ? given + ".class" : given;
}

int Main(Queue::tQueue& words) {
  int code = kExitError;
  try {
    code = Run(words);
  } catch (const ZYNError::Fatal& error) {
    ZYNReport::Error(error.Line());
  } catch (const std::bad_alloc&) {
    ZYNReport::NoMemory();
  }
  FormatUtils::Flush();
  return code;
}

unsigned Threads() {
  const unsigned processors = std::clamp(Platform::ProcessorCount(), 1u, kMaxThreads);
  const char* setting = std::getenv("ZYN_THREADS");
  if (setting == nullptr) return processors;
  const std::string_view text = setting;
  unsigned n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (error != std::errc() || end != text.data() + text.size() || text.size() > 3 || n < 1 || n > kMaxThreads)
    ZYNError::Message(kBadThreads, text);
  // More workers than twice the processors only wait for them, each holding its buffers; up to twice, some
  // work while others wait for the disk.
  return std::min(n, 2 * processors);
}

namespace {

// The outputs the keys ask for beside the console; a file that cannot be made ends the run before any file.
void AddOutputs(const tParams& params, ZYNReport::tReport& report) {
  auto text = [&report](std::unique_ptr<ZYNMap::tTextOutput> output, const std::string& name) {
    output->Open(name);
    report.Add(std::move(output));
  };
  if (!params.map.empty()) text(std::make_unique<ZYNMap::tMapOutput>(), params.map);
  if (!params.usage.empty()) text(std::make_unique<ZYNExplain::tUsageOutput>(), params.usage);
  if (!params.report.empty()) text(std::make_unique<ZYNJson::tReportOutput>(params), params.report);
  if (!params.why.empty()) report.Add(std::make_unique<ZYNExplain::tWhyOutput>(params.why));
}

// The -rules: files, read before any file; the options they hold that keep nothing are named once each.
ZYNRules::tRuleSet ReadRules(const tParams& params) {
  ZYNRules::tRuleSet rules;
  for (const std::string& file : params.rules) rules.ReadFile(file);
  for (const auto& [option, where] : rules.Skipped())
    PrintLine(FormatUtils::Printable("WARNING: Rules option \"" + option + "\" not applied (first in " + where + ")"));
  return rules;
}

// The run's rules: those given, then those its archives ship; each -if condition is met by the run's classes.
void PrepareRules(ZYNRules::tRuleSet&& given, ZYNHierarchy::tRunFacts& facts) {
  given.Append(std::move(facts.rules));
  facts.rules = std::move(given);
  facts.rules.Prepare([&facts](const std::function<void(const ZYNRules::tClassView&)>& f) {
    facts.ForEachClass([&](std::string_view name, const ZYNHierarchy::tKnownClass&) {
      ZYNRules::tClassView view;
      view.name = name;
      view.supertypes = facts.Supertypes(name);
      f(view);
    });
  });
}

}  // namespace

int Run(Queue::tQueue& words) {
  FormatUtils::PrintText("Zyncraft");
  PrintLine(" for Windows. Version 1.00");
  int stop = kExitHelp;
  const std::optional<tParams> parsed = ParseParams(words, &stop);
  if (!parsed) return stop;
  const tParams& params = *parsed;
  const unsigned threads = Threads();
  ZYNReport::tReport report;
  AddOutputs(params, report);
  ZYNRules::tRuleSet rules = ReadRules(params);
  std::vector<std::string> others;
  std::unordered_set<std::string> links;
  tRunPlan plan(params, threads, ListFiles(params, words, others, links, report));
  plan.others = std::move(others);
  plan.links = std::move(links);
  const std::vector<std::string>& names = plan.names;
  report.Head();
  // A writing run keeps a file open for each listed file it reads ahead or has replaced, up to its room.
  if (!params.tst) Platform::ReserveOpenFiles(names.size() + 64);
  // A run again after a stop finds what the stopped one made (-old writes its results to the backup names).
  const std::vector<bool> fromBackup(params.old ? 0 : names.size(), true);
  plan.facts = ReadRun(names, plan.others, {plan.threads, plan.memory, params.tst ? nullptr : &plan.locks},
                       fromBackup, plan.read);
  PrepareRules(std::move(rules), plan.facts);
  if (!params.tst) CheckBackupNames(names, plan.read.isArchive);
  plan.inTurn = ReadsWritten(names, plan.links, params);
  if (!params.old) Settle(plan);
  if (!tOptimizeAll(plan, report).Run()) return kExitError;
  report.End();
  return kExitOk;
}

}  // namespace ZYNMain
