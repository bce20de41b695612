#include "message/cWords.h"

#include "bayes/cWordList.h"

namespace quelta {

const char* const kBayesDelimSubject = ",;.:/\\!?&\"()[]{}=+*#<>";
const char* const kBayesDelimFrom = ",;\"<>";
const char* const kBayesDelimMailer = ",;:/\\()[]{}";
const char* const kBayesDelimReceived = "\",;:/\\()[]{}<>=";

std::string WordList(const std::string& text) { return "\""; }
std::string FoldText(const std::string& text) { return text; }
bool HasStopWords(const std::string& wordList, TStopLanguage language, int threshold) { return false; }
int CountBrokenWords(const std::string& text, const std::string& extraLetters) { return 0; }
std::string LettersOnly(const std::string& text) { return ""; }
int CountShortTagTexts(const std::string& html, int minimum, int maximum, int limit) { return 0; }
void AddWords(TWordList& list, const std::string& text, const std::string& prefix, bool trim,
              const std::string& delimiters, bool noNumbersOnly,
              const std::vector<std::string>& excepted) {}
void AddWords(TWordList& list, const std::string& text, const std::string& prefix, bool trim,
              const std::string& delimiters) {}

}  // namespace quelta
