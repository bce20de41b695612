#include "bayes_tools.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "app/locations.h"
#include "base/crc32.h"
#include "base/paths.h"
#include "bayes/hashed_records.h"
#include "bayes/undo_database.h"
#include "bayes/word_database.h"
#include "os/env.h"

namespace quelta_host {

namespace {

using quelta::UndoDatabase;
using quelta::WordDatabase;

constexpr char kMagic[] = "QUELTABK";
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 32;
// The last day a training date can name: 9999-12-31.
constexpr double kLastDay = 2958465.0;

bool ReadFileOf(BayesFile& f, std::string& error) {
  f.present = quelta::os::FileExists(f.path);
  f.data.clear();
  if (f.present && !quelta::os::ReadFile(f.path, f.data)) {
    error = "cannot read " + f.path;
    return false;
  }
  return true;
}

std::string FileLine(const char* name, const BayesFile& f) {
  return std::string(name) + ": " + f.path +
         (f.present ? ", " + std::to_string(f.data.size()) + " bytes\n"
                    : ", not present (nothing trained yet)\n");
}

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v));
  return buf;
}

// A finding about `count` records, naming the first.
std::string Records(const char* what, std::size_t count, std::size_t firstOffset) {
  return std::string(what) + ": " + std::to_string(count) + (count == 1 ? " record" : " records") +
         ", the first at byte " + std::to_string(firstOffset);
}

// Counts and the first place of one kind of finding.
struct Tally {
  std::size_t count = 0, first = 0;
  void Add(std::size_t offset) {
    if (count++ == 0) first = offset;
  }
};

}  // namespace

bool ReadBayesPair(const std::string& profile, BayesPair& pair, std::string& error) {
  quelta::Locations where;
  if (!quelta::LoadLocations(quelta::WithTrailingSeparator(profile), where)) {
    error = "cannot read the folders of " + profile;
    return false;
  }
  pair.words.path = where.bayesDb + "Bayes.wdb";
  pair.undo.path = where.bayesDb + "Bayes.udb";
  return ReadFileOf(pair.words, error) && ReadFileOf(pair.undo, error);
}

std::string BayesStatsText(const BayesPair& pair) {
  WordDatabase words;
  words.Deserialize(pair.words.data);
  UndoDatabase undo;
  undo.Deserialize(pair.undo.data);
  const quelta::WordRecord header = words.At(0);
  std::size_t inSpam = 0, inHam = 0, undoSpam = 0;
  for (int i = 1; i < words.Count(); ++i) {
    inSpam += words.At(i).spamCount > 0;
    inHam += words.At(i).hamCount > 0;
  }
  for (int i = 0; i < undo.Count(); ++i) undoSpam += undo.GetRecord(i).isSpam;
  const std::uint64_t messages = std::uint64_t{header.spamCount} + header.hamCount;
  return FileLine("Bayes.wdb", pair.words) + FileLine("Bayes.udb", pair.undo) +
         "messages:  " + std::to_string(messages) + " (" + std::to_string(header.spamCount) +
         " spam, " + std::to_string(header.hamCount) + " ham)\n" +
         "words:     " + std::to_string(words.Count() - 1) + " (" + std::to_string(inSpam) +
         " seen in spam, " + std::to_string(inHam) + " in ham)\n" +
         "trained:   " + std::to_string(undo.Count()) + " messages remembered (" +
         std::to_string(undoSpam) + " as spam, " + std::to_string(undo.Count() - undoSpam) +
         " as ham)\n";
}

std::vector<std::string> CheckBayesPair(const BayesPair& pair) {
  std::vector<std::string> out;
  const std::string& w = pair.words.data;
  const std::string& u = pair.undo.data;
  const std::size_t ws = WordDatabase::kRecordSize, us = UndoDatabase::kRecordSize;
  if (pair.words.present != pair.undo.present)
    out.push_back(std::string(pair.words.present ? "Bayes.udb" : "Bayes.wdb") +
                  ": missing beside its partner (start-up warns that the databases are not found)");

  WordDatabase words;
  words.Deserialize(w);
  if (pair.words.present) {
    if (w.size() % ws != 0)
      out.push_back("Bayes.wdb: the last record is cut short: " + std::to_string(w.size() % ws) +
                    " bytes after " + std::to_string(w.size() / ws) + " whole records");
    if (w.size() < ws)
      out.push_back("Bayes.wdb: no header record");
    else if (words.At(0).hash != WordDatabase::kHeaderHash)
      out.push_back("Bayes.wdb: the first record is no header record (its hash is " +
                    Hex(words.At(0).hash) + ", not " + Hex(WordDatabase::kHeaderHash) + ")");
  }
  const quelta::WordRecord header = words.At(0);
  Tally spamWithout, hamWithout, twice;
  for (int i = 1; i < words.Count(); ++i) {
    const quelta::WordRecord& r = words.At(i);
    const std::size_t offset = static_cast<std::size_t>(i) * ws;
    if (r.spamCount > 0 && header.spamCount == 0) spamWithout.Add(offset);
    if (r.hamCount > 0 && header.hamCount == 0) hamWithout.Add(offset);
    // Training appends a word only when no record but the header holds it.
    const int first = words.IndexOfHash(r.hash);
    if (first >= 1 && first < i) twice.Add(offset);
  }
  if (spamWithout.count)
    out.push_back("Bayes.wdb: " + Records("spam counts without a trained spam message",
                                          spamWithout.count, spamWithout.first));
  if (hamWithout.count)
    out.push_back("Bayes.wdb: " + Records("ham counts without a trained ham message",
                                          hamWithout.count, hamWithout.first));
  if (twice.count)
    out.push_back("Bayes.wdb: " + Records("words recorded twice", twice.count, twice.first));

  UndoDatabase undo;
  undo.Deserialize(u);
  if (u.size() % us != 0)
    out.push_back("Bayes.udb: the last record is cut short: " + std::to_string(u.size() % us) +
                  " bytes after " + std::to_string(u.size() / us) + " whole records");
  Tally badClass, badDate, again;
  std::uint32_t undoSpam = 0, undoHam = 0;
  for (int i = 0; i < undo.Count(); ++i) {
    const quelta::UndoRecord r = undo.GetRecord(i);
    const std::size_t offset = static_cast<std::size_t>(i) * us;
    const unsigned char classByte = static_cast<unsigned char>(u[offset + 4]);
    if (classByte > 1) badClass.Add(offset);
    if (!std::isfinite(r.trainedAt) || r.trainedAt < 1 || r.trainedAt >= kLastDay + 1)
      badDate.Add(offset);
    if (undo.IndexOfHash(r.hash) < i) again.Add(offset);
    ++(r.isSpam ? undoSpam : undoHam);
  }
  if (badClass.count)
    out.push_back("Bayes.udb: " + Records("class bytes other than 0 (ham) or 1 (spam)",
                                          badClass.count, badClass.first));
  if (badDate.count)
    out.push_back("Bayes.udb: " +
                  Records("impossible training dates", badDate.count, badDate.first));
  if (again.count)
    out.push_back("Bayes.udb: " + Records("messages remembered twice", again.count, again.first));

  if (pair.words.present && pair.undo.present) {
    auto more = [&](std::uint32_t counted, std::uint32_t remembered, const char* cls) {
      if (counted > remembered)
        out.push_back("Bayes.wdb: counts " + std::to_string(counted) + " " + cls +
                      (counted == 1 ? " message" : " messages") + ", but Bayes.udb remembers " +
                      std::to_string(remembered) + " trained as " + cls);
    };
    more(header.spamCount, undoSpam, "spam");
    more(header.hamCount, undoHam, "ham");
  }
  return out;
}

std::string MakeBackup(const BayesPair& pair) {
  const std::string& w = pair.words.present ? pair.words.data : std::string();
  const std::string& u = pair.undo.present ? pair.undo.data : std::string();
  std::string out(kHeaderSize, '\0');
  out.replace(0, 8, kMagic, 8);
  quelta::PutLittleEndian(&out[8], kVersion, 4);
  quelta::PutLittleEndian(&out[12], (pair.words.present ? 1u : 0u) | (pair.undo.present ? 2u : 0u),
                          4);
  quelta::PutLittleEndian(&out[16], w.size(), 8);
  quelta::PutLittleEndian(&out[24], u.size(), 8);
  out += w;
  out += u;
  char crc[4];
  quelta::PutLittleEndian(crc, quelta::Crc32(out), 4);
  out.append(crc, 4);
  return out;
}

bool WriteBackupFile(const std::string& file, const BayesPair& pair) {
  return quelta::os::WriteFileAtomic(file, MakeBackup(pair));
}

bool ReadBackup(const std::string& image, BayesPair& contents, std::string& error) {
  if (image.size() < kHeaderSize + 4 || image.compare(0, 8, kMagic, 8) != 0) {
    error = "not a Quelta Bayes backup";
    return false;
  }
  const std::uint64_t version = quelta::GetLittleEndian(&image[8], 4);
  const std::uint64_t flags = quelta::GetLittleEndian(&image[12], 4);
  const std::uint64_t wl = quelta::GetLittleEndian(&image[16], 8);
  const std::uint64_t ul = quelta::GetLittleEndian(&image[24], 8);
  if (version != kVersion) {
    error = "backup format version " + std::to_string(version) + " is not known here";
    return false;
  }
  const std::uint64_t body = image.size() - kHeaderSize - 4;
  if (flags > 3 || wl > body || ul != body - wl || (!(flags & 1) && wl) || (!(flags & 2) && ul)) {
    error = "the backup is damaged (its lengths do not fit its size)";
    return false;
  }
  const std::size_t end = image.size() - 4;
  if (quelta::GetLittleEndian(&image[end], 4) !=
      quelta::Crc32(std::string_view(image).substr(0, end))) {
    error = "the backup is damaged (its checksum does not match)";
    return false;
  }
  contents.words.present = (flags & 1) != 0;
  contents.undo.present = (flags & 2) != 0;
  contents.words.data = image.substr(kHeaderSize, static_cast<std::size_t>(wl));
  contents.undo.data =
      image.substr(kHeaderSize + static_cast<std::size_t>(wl), static_cast<std::size_t>(ul));
  return true;
}

bool RestorePair(const BayesPair& current, const BayesPair& contents, std::string& error) {
  auto put = [](const std::string& path, const BayesFile& as) {
    if (as.present) return quelta::os::WriteFileAtomic(path, as.data);
    return !quelta::os::FileExists(path) || quelta::os::DeleteFile(path);
  };
  if (!put(current.words.path, contents.words)) {
    error = "cannot replace " + current.words.path + " (nothing was changed)";
    return false;
  }
  if (!put(current.undo.path, contents.undo)) {
    const bool back = put(current.words.path, current.words);
    error = "cannot replace " + current.undo.path +
            (back ? " (" + current.words.path + " was put back as it was)"
                  : "; " + current.words.path + " could not be put back either");
    return false;
  }
  return true;
}

}  // namespace quelta_host
