// "Whitelist.txt", "Blacklist.txt", "ExceptedWords.txt" and "SubDomains.lst"
// (the input cut in four): any bytes load; every list entry becomes one
// rule on the sender's address.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/strings.h"
#include "bayes/tokenizer.h"
#include "fuzz_files.h"
#include "message/urls.h"
#include "rules/address_list_rules.h"
#include "rules/rule_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts =
      fuzzing::Split(std::string_view(reinterpret_cast<const char*>(data), size), 4);
  fuzzing::Put("Whitelist.txt", parts[0]);
  fuzzing::Put("Blacklist.txt", parts[1]);
  quelta::RuleStore rules;
  const int white = quelta::LoadAddressList(rules, fuzzing::Folder(), "Whitelist.txt", true);
  const int black = quelta::LoadAddressList(rules, fuzzing::Folder(), "Blacklist.txt", false);
  if (white < 0 || black < 0 || rules.Count() != white + black) std::abort();
  for (int i = 0; i < rules.Count(); ++i)
    if (rules.At(i).field != "FromAddr" || rules.At(i).flags != (i < white ? "SW" : "SH")) std::abort();

  const quelta::ExceptedWords excepted(quelta::SplitLines(std::string(parts[2])));
  excepted.Contains("alpha");
  const quelta::SubDomainList subDomains(fuzzing::Put("SubDomains.lst", parts[3]));
  subDomains.Contains("co.uk");
  return 0;
}
