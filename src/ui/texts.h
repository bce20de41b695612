// The dialogs' texts: every caption, column title, question and message is
// looked up in the language table by its "Section|Name" key, with the
// built-in German text as the default.
//
// Promises: BuiltinText knows every key the dialogs use; a key it does not
// know gives "" (a programming error, caught by the tests). Texts are
// Windows-1252. Safe from any thread (the table is constant).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quelta {

class LanguageTable;

// The built-in German text of key ("" when the key is unknown).
std::string BuiltinText(std::string_view key);
// Every key with its built-in text, in table order.
const std::vector<std::pair<std::string, std::string>>& BuiltinTexts();

// The text to show for key: the language table's text, else the built-in
// one; params holds the values for %s1%, %s2% ... separated by 0x01.
std::string UiText(const LanguageTable& language, const std::string& key,
                   const std::string& params = std::string());

// Joins parameter values with the separator byte 0x01.
std::string UiParams(std::initializer_list<std::string> values);

}  // namespace quelta
