// The Bayes filter's tokeniser: the words of one message (subject, sender,
// mailer, Received lines and text, each with its own prefix and delimiters)
// collected into a word table, and the list of words it never takes.
//
// Promises: a word is 4..30 characters after trimming, lower-cased (ASCII)
// as it is copied out, prefixed as its source demands; nothing throws
// except std::bad_alloc; linear in the message.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace quelta {

class MessageParser;
class WordTable;

// Delimiters of each source of words, added to the base set (0x00-0x03,
// tab, LF, CR, 0xA0, blank).
extern const char* const kBayesDelimSubject;  // also the message text
extern const char* const kBayesDelimFrom;
extern const char* const kBayesDelimMailer;
extern const char* const kBayesDelimReceived;

// The words excepted from the Bayes filter, compared by the system's lower
// case.
class ExceptedWords {
 public:
  explicit ExceptedWords(const std::vector<std::string>& words);
  bool Contains(const std::string& word) const;
  std::size_t Size() const { return count_; }

 private:
  std::unordered_set<std::string> lower_;
  std::size_t count_ = 0;  // lines of the list, duplicates included
};

struct TokenizerOptions {
  // Take the rendered text ("TEXT") instead of the decoded plain and HTML parts.
  bool noHtmlPart = false;
  // Skip words made of digits only.
  bool noNumbersOnly = true;
  // Null: no exceptions.
  const ExceptedWords* excepted = nullptr;
};

// Adds prefix + every word of text of 4..30 characters to list, once per
// occurrence (trim strips non-alphanumerics from both ends of each piece);
// digit-only words are skipped when noNumbersOnly is set, excepted words
// always.
void AddWords(WordTable& list, const std::string& text, const std::string& prefix, bool trim,
              const std::string& delimiters, bool noNumbersOnly,
              const ExceptedWords* excepted = nullptr);

// The word table of a message: "S:" subject words, "F:" sender words, "M:"
// mailer words, "R:" Received words, then the text's words without prefix
// (the plain part, then the HTML part; the rendered text with noHtmlPart),
// each text cut to the parser's maxDataSize first.
void TokenizeMessage(MessageParser& parser, const TokenizerOptions& options, WordTable& out);

}  // namespace quelta
