// Text-level analysis of message texts: the word lists behind
// TEXTWORD and PLAINWORD, the folding of obfuscated spellings behind
// SPAMTEXT and its kin, the stop-word language test, the broken-word count,
// the letters-only text, and the count of short texts between tags.
//
// Promises: single-byte Windows-1252 text; lower-casing is ASCII-only
// ('A'..'Z'); nothing throws; every function is about linear in its input.
#pragma once

#include <string>
#include <vector>

namespace quelta {

// Quoted list of the words of text (ASCII-lowered, split at blanks, edge
// punctuation stripped, words of 2+ characters cut to 500), in text order
// with duplicates; a lone '"' for a text without words.
std::string WordList(const std::string& text);

// text ASCII-lowered with runs of one character collapsed, look-alike
// characters and shapes ("\/", "|\/|", "vv", ...) folded to plain letters
// and punctuation dropped.
std::string FoldText(const std::string& text);

enum class StopWordLanguage { English, German };
// True when at least threshold distinct stop words of the language occur
// as items of the quoted word list.
bool HasStopWords(const std::string& wordList, StopWordLanguage language, int threshold);

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

}  // namespace quelta
