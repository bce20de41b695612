// Time per network look-up against loopback peers, in the private network
// namespace of the network tests (the system resolver asks a loopback
// dnsmasq there):
//
//   tests/net/netns.sh python3 tests/net/peers.py --netns -- build/bench/net_bench
//
//   BlockList/Listed      a block-list look-up that dnsmasq answers at once
//   BlockList/NotListed   one that dnsmasq answers at once with "no such name"
//   BlockList/Silent      a 250 ms look-up whose server never answers
//   Reverse/Known         a reverse look-up dnsmasq answers at once
//   Mx/Dnsmasq            an MX query dnsmasq answers at once
//   Mx/Silent             a 250 ms MX query to a server that never answers
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "net/lookup.h"

namespace {

bool Ready(benchmark::State& state) {
  if (std::getenv("QUELTA_NETNS") != nullptr) return true;
  state.SkipWithError("needs the loopback peers in the private namespace (see the head of this file)");
  return false;
}

void Expect(benchmark::State& state, const std::string& got, const std::string& want) {
  if (got != want) state.SkipWithError(("unexpected answer " + got).c_str());
}

void BlockListListed(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) Expect(state, quelta::BlockListLookup("127.0.0.2", "bl.test", 250), "127.0.0.2");
}

void BlockListNotListed(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) Expect(state, quelta::BlockListLookup("127.0.0.9", "bl.test", 250), "NLTO");
}

void BlockListSilent(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) Expect(state, quelta::BlockListLookup("silent", "slow.test", 250), "NLTO");
  quelta::WaitForLookupWorkers(5000);
}

void ReverseKnown(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) Expect(state, quelta::ReverseLookup("127.0.0.5", 500), "relay.quelta.test");
}

void MxDnsmasq(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) Expect(state, quelta::MxLookup("mail.test", 2000), "mx1.mail.test");
}

void MxSilent(benchmark::State& state) {
  if (!Ready(state)) return;
  const char* port = std::getenv("QUELTA_PEER_DNS");
  const quelta::DnsServer silent{"127.0.0.1", static_cast<std::uint16_t>(port ? std::atoi(port) : 53)};
  for (auto _ : state) Expect(state, quelta::MxLookup("silent.test", 250, silent), "");
}

}  // namespace

BENCHMARK(BlockListListed)->Name("BlockList/Listed")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BlockListNotListed)->Name("BlockList/NotListed")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BlockListSilent)->Name("BlockList/Silent")->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();
BENCHMARK(ReverseKnown)->Name("Reverse/Known")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(MxDnsmasq)->Name("Mx/Dnsmasq")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(MxSilent)->Name("Mx/Silent")->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();

BENCHMARK_MAIN();
