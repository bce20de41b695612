// The internal checks defined outside the dispatcher's own file: the Bayes
// score, the known-sender look-ups and the network checks. Each takes the rule's context and
// answers whether the rule matches, setting its score and report text.
#pragma once

#include <cstdint>
#include <string>

#include "engine/checks.h"

namespace quelta {

// BAYESSCORE (options C, P, D).
bool CheckBayesScore(CheckContext& c);
// The score BAYESSCORE gives a Bayes result r (0..100) under the rule's
// flags: "C" 0 below 51 and 100 from 51 on; else "P" r itself; else
// (r - 50) * 2, doubled by "D". Letters count anywhere, in either case.
std::int32_t BayesRuleScore(std::int32_t r, const std::string& flags);

// Address books (option C: the rule's book alone, else every shared book).
bool CheckFromAddrInAddressBook(CheckContext& c);
bool CheckReplyToAddrInAddressBook(CheckContext& c);
bool CheckSenderInAddressBook(CheckContext& c);
bool CheckRecipientInAddressBook(CheckContext& c);
// The auto-white-list.
bool CheckFromAddrInAutoWhiteList(CheckContext& c);
bool CheckReplyToAddrInAutoWhiteList(CheckContext& c);
bool CheckSenderInAutoWhiteList(CheckContext& c);
// The network: block lists, the mail exchanger, sender verification,
// address ranges and the reverse look-ups that fill RCVIPHOSTS.
bool CheckDnsblRule(CheckContext& c);
bool CheckUrlblRule(CheckContext& c);
bool CheckMxRule(CheckContext& c);
bool CheckSenderAddressRule(CheckContext& c);
bool CheckRcvAllIpsInRange(CheckContext& c);
bool CheckRcvFromIpInRange(CheckContext& c);
bool CheckRcvIpInRange(CheckContext& c);
bool CheckGetRcvIpHosts(CheckContext& c);

}  // namespace quelta
