// quelta db: the Bayes word database ("Bayes.wdb") and undo database
// ("Bayes.udb") of a profile, as one pair: their statistics, a check for
// contents the plug-in never writes, and a backup file that holds both.
//
// The backup file (little-endian, portable between every build):
//   offset 0   8 bytes  "QUELTABK"
//          8   4        format version, 1
//         12   4        flags: 1 = Bayes.wdb present, 2 = Bayes.udb present
//         16   8        length W of the Bayes.wdb image
//         24   8        length U of the Bayes.udb image
//         32   W + U    the two files' bytes, word database first
//   32 + W + U 4        CRC-32 of every byte before it
// A file absent when the backup was made has length 0 and its flag clear;
// restoring such a backup removes that file.
//
// Functions report failures through their results; none throws. The pair
// is read and written whole; callers hold the profile lock around them.
#pragma once

#include <string>
#include <vector>

namespace quelta_host {

struct BayesFile {
  std::string path;
  bool present = false;
  std::string data;  // the file's bytes when present
};

struct BayesPair {
  BayesFile words;  // Bayes.wdb
  BayesFile undo;   // Bayes.udb
};

// The pair of the profile folder `profile` (the folder BayesDB of its
// Quelta.cfg), read. False with `error` when a file that exists cannot be
// read.
bool ReadBayesPair(const std::string& profile, BayesPair& pair, std::string& error);

// Lines: the files and their sizes, the trained messages and the words.
std::string BayesStatsText(const BayesPair& pair);

// What no run of the plug-in writes: a last record cut short, a word file
// without its header record, word counts of a class with no trained
// message, a word or message recorded twice, an undo record whose class
// byte is neither 0 nor 1 or whose training date is impossible, more
// messages counted in the word file than the undo file remembers, one file
// of the pair without the other. One line per kind of finding, beginning
// with the file's name; empty when none.
std::vector<std::string> CheckBayesPair(const BayesPair& pair);

// The backup file image of a pair, and that image written to `file` (a new
// file beside it, renamed over it when complete).
std::string MakeBackup(const BayesPair& pair);
bool WriteBackupFile(const std::string& file, const BayesPair& pair);
// The pair a backup image holds (presence and bytes; no paths). False with
// `error` when the image is not a whole, unchanged backup.
bool ReadBackup(const std::string& image, BayesPair& contents, std::string& error);

// Replaces the files of `current` (paths and present contents) by
// `contents`: each file is written beside its place and renamed over it (a
// file absent from `contents` is removed); when the second file cannot be
// replaced the first is put back as it was. False with `error` then.
bool RestorePair(const BayesPair& current, const BayesPair& contents, std::string& error);

}  // namespace quelta_host
