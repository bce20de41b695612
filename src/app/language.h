// LanguageTable: user-interface texts looked up by
// "Section|Name" keys from a language file, with the built-in German text
// as the default, and %s1%-style parameters, %r% %n% %t% and $%$ markers.
#pragma once

#include <string>
#include <vector>

namespace quelta {

class LanguageTable {
 public:
  // Empties the table, then reads `file`: the number of lines taken, or -1
  // when the file does not exist.
  int Load(const std::string& file);
  // The text for `key` (letter case ignored), else `builtin`; `params`
  // holds the values separated by the byte 0x01 ("" = none).
  std::string Text(const std::string& key, const std::string& builtin,
                   const std::string& params = std::string()) const;

 private:
  std::vector<std::string> lines_;
};

// The language choices: "Deutsch (intern)" then every "*.lng" name of the
// plug-in's "Language" folder without its extension.
std::vector<std::string> ListLanguages(const std::string& folder);

}  // namespace quelta
