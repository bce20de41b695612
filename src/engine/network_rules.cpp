// The internal checks that ask the network, over the network layer's
// check functions: each reads its fields from the message, adds the
// check's lines to the rule's report text and answers whether it matched.
#include <stdexcept>

#include "engine/evaluator.h"
#include "engine/internal_checks.h"
#include "message/parser.h"
#include "net/network_checks.h"
#include "rules/rule_store.h"

namespace quelta {

namespace {

NetworkQueries& Network(CheckContext& c) {
  if (!c.services.network) throw std::logic_error("no network");
  return *c.services.network;
}

bool Report(CheckContext& c, const NetworkCheckResult& r) {
  c.text += r.text;
  return r.matched;
}

FieldReader Fields(CheckContext& c) {
  return [&c](const std::string& name) { return c.Field(name); };
}

}  // namespace

bool CheckDnsblRule(CheckContext& c) {
  return Report(c, CheckDnsbl(c.rule.value, c.Field("RCVIPIP"), c.options.network, Network(c)));
}

bool CheckUrlblRule(CheckContext& c) {
  return Report(c, CheckUrlbl(c.rule.value, c.Field("URLDOMAINLIST"), c.options.network, Network(c)));
}

bool CheckMxRule(CheckContext& c) {
  return Report(c, CheckMx(c.rule.value, Fields(c), c.options.network, Network(c)));
}

bool CheckSenderAddressRule(CheckContext& c) {
  return Report(c, CheckSenderAddress(c.rule.value, Fields(c), c.options.network, Network(c)));
}

bool CheckRcvAllIpsInRange(CheckContext& c) { return CheckIpInRange(c.rule.value, c.Field("RCVALLIPS")); }
bool CheckRcvFromIpInRange(CheckContext& c) { return CheckIpInRange(c.rule.value, c.Field("RCVFROMIP")); }
bool CheckRcvIpInRange(CheckContext& c) { return CheckIpInRange(c.rule.value, c.Field("RCVIP")); }

bool CheckGetRcvIpHosts(CheckContext& c) {
  c.Parser().SetRcvIpHosts(CollectRcvIpHosts(c.rule.value, c.Field("RCVALLIPS"), Network(c)));
  return false;
}

}  // namespace quelta
