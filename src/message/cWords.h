// cWords: text-level analysis of message texts: the word lists behind
// TEXTWORD and PLAINWORD, the folding of obfuscated spellings behind
// SPAMTEXT and its kin, the stop-word language test, the broken-word count,
// the letters-only text, the count of short texts between tags, and the
// tokeniser that fills the Bayes word table.
//
// Promises: single-byte Windows-1252 text; lower-casing is ASCII-only
// ('A'..'Z'); nothing throws; every function is about linear in its input.
#pragma once

#include <string>
#include <vector>

namespace quelta {

class TWordList;

// Quoted list of the words of text (ASCII-lowered, split at blanks, edge
// punctuation stripped, words of 2+ characters cut to 500), in text order
// with duplicates; a lone '"' for a text without words.
std::string WordList(const std::string& text);

// text ASCII-lowered with runs of one character collapsed, look-alike
// characters and shapes ("\/", "|\/|", "vv", ...) folded to plain letters
// and punctuation dropped.
std::string FoldText(const std::string& text);

enum class TStopLanguage { English, German };
// True when at least threshold distinct stop words of the language occur
// as items of the quoted word list.
bool HasStopWords(const std::string& wordList, TStopLanguage language, int threshold);

// Number of words of text in which a letter follows another letter with
// at least one non-letter between them (letters: a-z, the German letters,
// space, "-/\", the accents, the apostrophe, plus extraLetters).
int CountBrokenWords(const std::string& text, const std::string& extraLetters);

// text ASCII-lowered, keeping only 'a'..'z'.
std::string LettersOnly(const std::string& text);

// Number (at most limit) of texts between a '>' and the next '<' whose
// length is minimum..maximum and that are not blank (minimum below 1 counts
// as 1, maximum above 99 as 4).
int CountShortTagTexts(const std::string& html, int minimum, int maximum, int limit);

// Bayes delimiters (added to the base set 0x00-0x03, tab, LF, CR, 0xA0) per
// source of words.
extern const char* const kBayesDelimSubject;   // also the message text
extern const char* const kBayesDelimFrom;
extern const char* const kBayesDelimMailer;
extern const char* const kBayesDelimReceived;

// The Bayes tokeniser: adds prefix + every word of text of 4..30 characters
// to list, once per occurrence (trim strips non-alphanumerics from both
// ends of each piece); digit-only words are skipped when noNumbersOnly is
// set, and words found in excepted (ignoring case) are skipped.
void AddWords(TWordList& list, const std::string& text, const std::string& prefix, bool trim,
              const std::string& delimiters, bool noNumbersOnly,
              const std::vector<std::string>& excepted);
// As above with the setting NoNumbersOnly and the process-wide word
// exception list.
void AddWords(TWordList& list, const std::string& text, const std::string& prefix, bool trim,
              const std::string& delimiters);

}  // namespace quelta
