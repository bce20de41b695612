#include "net/smtp.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "base/ipv4.h"
#include "base/strings.h"
#include "net/lookup.h"
#include "os/network.h"

namespace quelta {

std::string SmtpReply::Text() const {
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined += "\r\n";
    joined += lines[i];
  }
  return Trim(joined);
}

SmtpReadStatus TakeSmtpReply(std::string& buffer, SmtpReply& reply, const SmtpLimits& limits) {
  SmtpReply taken;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t nl = buffer.find('\n', pos);
    if (nl == std::string::npos) {
      // The unfinished line may still get its CR.
      return buffer.size() - pos > limits.maxLineLength + 1 ? SmtpReadStatus::kTooLong
                                                             : SmtpReadStatus::kNeedMore;
    }
    std::size_t end = nl;
    if (end > pos && buffer[end - 1] == '\r') --end;
    const std::size_t len = end - pos;
    if (len > limits.maxLineLength) return SmtpReadStatus::kTooLong;
    const char* s = buffer.data() + pos;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (len < 3 || s[0] < '1' || s[0] > '5' || !digit(s[1]) || !digit(s[2]) ||
        (len > 3 && s[3] != ' ' && s[3] != '-'))
      return SmtpReadStatus::kMalformed;
    if (taken.lines.size() >= limits.maxReplyLines) return SmtpReadStatus::kTooLong;
    taken.lines.emplace_back(len > 4 ? std::string(s + 4, len - 4) : std::string());
    pos = nl + 1;
    if (len == 3 || s[3] == ' ') {
      taken.code = (s[0] - '0') * 100 + (s[1] - '0') * 10 + (s[2] - '0');
      buffer.erase(0, pos);
      reply = std::move(taken);
      return SmtpReadStatus::kComplete;
    }
  }
}

namespace {

// One client connection: sends command lines, reads whole replies.
class SmtpSession {
 public:
  SmtpSession(int timeoutMs, const SmtpLimits& limits) : timeoutMs_(timeoutMs), limits_(limits) {}

  bool Connect(const std::string& address, std::uint16_t port) {
    return conn_.Connect(address, port, timeoutMs_) == os::IoStatus::kOk;
  }

  // Sends `command` + CR LF (unless empty) and reads the reply; nullopt when
  // it did not come complete within the time-out.
  std::optional<SmtpReply> Exchange(const std::string& command) {
    if (!command.empty() && conn_.SendAll(command + "\r\n", timeoutMs_) != os::IoStatus::kOk) return {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    for (;;) {
      SmtpReply reply;
      switch (TakeSmtpReply(buffer_, reply, limits_)) {
        case SmtpReadStatus::kComplete: return reply;
        case SmtpReadStatus::kMalformed:
        case SmtpReadStatus::kTooLong: return {};
        case SmtpReadStatus::kNeedMore: break;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return {};
      if (conn_.Receive(buffer_, 4096, static_cast<int>(left)) != os::IoStatus::kOk) return {};
    }
  }

 private:
  os::TcpConnection conn_;
  std::string buffer_;  // received bytes not yet taken as a reply
  int timeoutMs_;
  SmtpLimits limits_;
};

std::string Describe(const std::optional<SmtpReply>& reply) {
  return reply ? std::to_string(reply->code) + " " + reply->Text() : std::string();
}

std::string HeloName(const SmtpOptions& options) {
  if (!options.heloName.empty()) return options.heloName;
  std::string name = AsciiLower(os::ComputerName());
  return name.empty() ? os::LocalHostName() : name;
}

std::string WithoutLineBreaks(std::string s) {
  s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }), s.end());
  return s;
}

}  // namespace

SenderVerification VerifySender(const std::string& exchanger, int timeoutMs, const std::string& address,
                                const SmtpOptions& options) {
  const int timeout = timeoutMs > 0 ? timeoutMs : 0;
  const std::string host = IsIPv4(exchanger) ? exchanger : ForwardLookup(exchanger, timeout);
  SmtpSession session(timeout, options.limits);
  if (host.empty() || !session.Connect(host, options.port)) return {kSenderNoSession, "Connection failed"};

  auto reply = session.Exchange("");
  if (!reply || reply->code != 220) return {kSenderNoSession, Describe(reply)};
  const std::string helo = HeloName(options);
  reply = session.Exchange("EHLO " + helo);
  if (reply && reply->code != 250) reply = session.Exchange("HELO " + helo);
  if (!reply || reply->code != 250) return {kSenderNoSession, Describe(reply)};

  const std::string mailbox = "<" + WithoutLineBreaks(address) + ">";
  SenderVerification result;
  reply = session.Exchange("MAIL FROM: " + mailbox);
  if (!reply || reply->code != 250) {
    result = {kSenderRefused, Describe(reply)};
  } else {
    reply = session.Exchange("RCPT TO: " + mailbox);
    if (!reply || reply->code != 250)
      result = {reply && reply->code == 554 ? kSenderRecipientOk : kSenderRecipientRefused, Describe(reply)};
    else
      result = {kSenderRecipientOk, "Recipient OK"};
  }
  if (reply) session.Exchange("QUIT");
  return result;
}

}  // namespace quelta
