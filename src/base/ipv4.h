// Dotted IPv4 address texts: the shape test every relay and block-list
// check starts from, and the private and reserved ranges they skip.
//
// Promises: pure functions of their text; nothing throws.
#pragma once

#include <string>

namespace quelta {

// True for exactly four '.'-separated pieces each a whole number 0..255.
bool IsIPv4(const std::string& text);
// True when text starts (ignoring ASCII case) with one of the reserved
// prefixes "10.", "127.", "169.254.", "172.31.", "191.255.", "192.0.0.",
// "192.168.", "223.255.255.".
bool IsReservedAddress(const std::string& text);

}  // namespace quelta
