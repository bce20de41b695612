// White and black lists ("Whitelist.txt", "Blacklist.txt") turned into
// list rules: one rule on the sender's address per entry, white-list rules
// marking the message as ham, black-list rules as spam.
//
// Promises: an entry "*x*" matches anywhere in the address, "x*" at its
// start, "*x" at its end, anything else the whole address; a file is read
// once, opened for reading only; nothing throws.
#pragma once

#include <string>

namespace quelta {

class RuleStore;

// Appends one list rule per entry of folder + file: the number of entries,
// -1 when the file does not exist, -2 when it cannot be read.
int LoadAddressList(RuleStore& rules, const std::string& folder, const std::string& file,
                    bool asWhiteList);

}  // namespace quelta
