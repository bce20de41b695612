#include "net/lookup.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "base/ipv4.h"
#include "base/strings.h"
#include "net/dns_message.h"
#include "os/network.h"

namespace quelta {

namespace {

using Clock = std::chrono::steady_clock;

// One look-up's request and result, shared by the caller and its worker.
struct LookupBlock {
  explicit LookupBlock(std::string r) : request(std::move(r)) {}
  const std::string request;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::string result;
};

// The count of running workers, for the cap and for WaitForLookupWorkers.
// It outlives the static destructors while an abandoned worker may still
// finish; when the module is unloaded (or the process ends) with no worker
// running, it is freed.
struct Workers {
  std::mutex mutex;
  std::condition_variable gone;
  int running = 0;
};
Workers* const& WorkersSlot() {
  static Workers* const workers = new Workers;
  return workers;
}
Workers& TheWorkers() { return *WorkersSlot(); }

struct FreeIdleWorkers {
  ~FreeIdleWorkers() {
    Workers* w = WorkersSlot();
    bool idle = false;
    {
      std::lock_guard<std::mutex> lock(w->mutex);
      idle = w->running == 0;
    }
    if (idle) delete w;
  }
} freeIdleWorkers;

void WorkerDone() {
  Workers& w = TheWorkers();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (--w.running == 0) w.gone.notify_all();
}

std::string RunOnWorker(std::string request, int timeoutMs, std::string (*resolve)(const std::string&)) {
  {
    Workers& w = TheWorkers();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (w.running >= kMaxLookupWorkers) return {};
    ++w.running;
  }
  auto block = std::make_shared<LookupBlock>(std::move(request));
  try {
    std::thread([block, resolve] {
      std::string answer = resolve(block->request);
      {
        std::lock_guard<std::mutex> lock(block->mutex);
        block->result = std::move(answer);
        block->done = true;
      }
      block->finished.notify_all();
      WorkerDone();
    }).detach();
  } catch (...) {  // the thread could not be started: do not wait
    WorkerDone();
    return {};
  }
  std::unique_lock<std::mutex> lock(block->mutex);
  if (!block->finished.wait_for(lock, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                                [&] { return block->done; }))
    return {};
  return Trim(block->result);
}

std::uint16_t RandomId() {
  static std::mutex m;
  static std::mt19937 rng{std::random_device{}()};
  std::lock_guard<std::mutex> lock(m);
  return static_cast<std::uint16_t>(rng());
}

}  // namespace

std::string ForwardLookup(const std::string& name, int timeoutMs) {
  return RunOnWorker(name, timeoutMs, &os::ResolveIPv4);
}

std::string ReverseLookup(const std::string& address, int timeoutMs) {
  return RunOnWorker(address, timeoutMs, &os::ResolveHostName);
}

std::string BlockListName(const std::string& item, const std::string& zone) {
  if (!IsIPv4(item)) return item + "." + zone;
  return GetToken(item, ".", 4) + "." + GetToken(item, ".", 3) + "." + GetToken(item, ".", 2) + "." +
         GetToken(item, ".", 1) + "." + zone;
}

std::string BlockListLookup(const std::string& item, const std::string& zone, int timeoutMs) {
  std::string result = ForwardLookup(BlockListName(item, zone), timeoutMs);
  return result.empty() ? "NLTO" : result;
}

bool WaitForLookupWorkers(int timeoutMs) {
  Workers& w = TheWorkers();
  std::unique_lock<std::mutex> lock(w.mutex);
  return w.gone.wait_for(lock, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                         [&] { return w.running == 0; });
}

std::string MxLookup(const std::string& domain, int timeoutMs, const DnsServer& server) {
  const std::uint16_t id = RandomId();
  std::string query;
  if (!BuildMxQuery(id, domain, query)) return {};
  const std::string address = server.address.empty() ? os::FirstDnsServer() : server.address;
  if (address.empty()) return {};
  os::UdpSocket socket;
  if (socket.SendTo(address, server.port, query) != os::IoStatus::kOk) return {};
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    std::string reply, from;
    std::uint16_t fromPort = 0;
    if (socket.ReceiveFrom(reply, 8192, left > 0 ? static_cast<int>(left) : 0, from, fromPort) !=
        os::IoStatus::kOk)
      return {};
    if (from != address || fromPort != server.port) continue;
    std::vector<MxRecord> records;
    switch (ParseMxReply(reply, id, domain, records)) {
      case DnsReplyStatus::kNotOurs: continue;
      case DnsReplyStatus::kAnswer: return ChooseExchange(records);
      case DnsReplyStatus::kError:
      case DnsReplyStatus::kMalformed: return {};
    }
  }
}

std::int32_t EchoRequest(std::string& host, int dataSize, int timeoutMs, EchoResult& result) {
  result = EchoResult{};
  if (!IsIPv4(host)) host = ForwardLookup(host, kEchoResolveTimeoutMs);
  const std::string data(static_cast<std::size_t>(dataSize < 0 ? 0 : std::min(dataSize, kEchoMaxDataSize)),
                         'A');
  os::EchoReply reply;
  const std::int32_t status = os::SendEcho(host, data, timeoutMs, reply);
  if (status != os::kEchoSuccess) return status;
  result.replyAddress = reply.address;
  result.replyTimeToLive = reply.timeToLive;
  result.replyDataSize = static_cast<int>(reply.data.size());
  result.roundTripMs = reply.roundTripMs;
  if (reply.data.size() != data.size())
    result.error = -1;
  else if (reply.data != data)
    result.error = -2;
  return status;
}

}  // namespace quelta
