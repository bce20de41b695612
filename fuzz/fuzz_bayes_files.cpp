// "Bayes.wdb" and "Bayes.udb" (the input cut in two): loaded, one message
// trained, saved as a pair. Every record the training did not touch comes
// back byte for byte (a count above 2,000,000,000 divided by ten, as the
// word file's format has it), and the files grow by exactly what was new.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "base/log.h"
#include "bayes/classifier.h"
#include "bayes/word_table.h"
#include "fuzz_files.h"

namespace {

std::uint32_t U32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

std::string Le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

// A word record as the file format writes it.
std::string Written(const std::string& record) {
  std::uint32_t spam = U32(record, 4), ham = U32(record, 8);
  if (spam > 2000000000u || ham > 2000000000u) {
    spam /= 10;
    ham /= 10;
  }
  return record.substr(0, 4) + Le32(spam) + Le32(ham);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts =
      fuzzing::Split(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  const std::string words(parts[0]), undo(parts[1]);
  fuzzing::Put("Bayes.wdb", words);
  fuzzing::Put("Bayes.udb", undo);
  const std::vector<std::string> trained = {"alpha", "S:beta", "alpha"};
  const std::string header = "Subject: beta";
  {
    quelta::NullLog log;
    const quelta::BayesOptions options;
    quelta::BayesFilter filter(fuzzing::Folder(), options, log);
    quelta::WordTable table;
    for (const std::string& w : trained) table.Add(w);
    filter.Learn(header, table, size % 2 == 1, 45000.25);  // asSpam below
    if (!filter.Save(log)) std::abort();
  }
  std::string outWords, outUndo;
  if (!quelta::os::ReadFile(fuzzing::Folder() + "Bayes.wdb", outWords) ||
      !quelta::os::ReadFile(fuzzing::Folder() + "Bayes.udb", outUndo))
    std::abort();

  // A message already trained as the same class trains nothing.
  const bool asSpam = size % 2 == 1;
  const std::uint32_t key = quelta::Crc32(header);
  const std::size_t m = undo.size() / 13;
  bool trains = true;
  for (std::size_t j = 0; j < m; ++j) {
    if (U32(undo, j * 13) == key) {
      trains = (undo[j * 13 + 4] != 0) != asSpam;
      break;
    }
  }
  // Word records: those of other hashes are untouched; trained words not
  // found from record 1 on are appended.
  const std::size_t n = words.size() / 12;
  std::size_t added = 0;
  for (const std::uint32_t h : {quelta::Crc32("alpha"), quelta::Crc32("S:beta")}) {
    std::size_t first = n;
    for (std::size_t i = 0; i < n && first == n; ++i)
      if (U32(words, i * 12) == h) first = i;
    if (trains && (first == n || first == 0)) ++added;
  }
  if (outWords.size() != 12 * ((n == 0 ? 1 : n) + added)) std::abort();
  for (std::size_t i = 1; i < n; ++i) {
    const std::string rec = words.substr(i * 12, 12);
    const std::uint32_t h = U32(rec, 0);
    if (h == quelta::Crc32("alpha") || h == quelta::Crc32("S:beta")) continue;
    if (outWords.compare(i * 12, 12, Written(rec)) != 0) std::abort();
  }
  // Undo records: only the message's own record changes or is appended.
  bool known = false;
  for (std::size_t j = 0; j < m; ++j) {
    const std::string rec = undo.substr(j * 13, 13);
    if (U32(rec, 0) == key) {
      known = true;
      continue;
    }
    if (outUndo.compare(j * 13, 13, rec) != 0) std::abort();
  }
  if (outUndo.size() != 13 * (m + (known ? 0 : 1))) std::abort();
  return 0;
}
