// smtp: the short SMTP dialogue (RFC 5321) that asks a sender domain's mail
// exchanger whether it would accept the sender address as a recipient, and
// the reading of SMTP replies it is built on. No message is ever sent: the
// dialogue ends before DATA.
//
// Promises: nothing throws or logs. The server is untrusted: every reply
// must arrive complete within the read time-out, no reply line may be
// longer than maxLineLength bytes and no reply longer than maxReplyLines
// lines, so a server that sends nothing, endless lines or huge lines is cut
// off within the time-out. Safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quelta {

// One complete, possibly multi-line, SMTP reply.
struct SmtpReply {
  int code = 0;                    // the three-digit reply code
  std::vector<std::string> lines;  // the text of each line, after "250-" / "250 "
  // The lines joined by CR LF, trimmed.
  std::string Text() const;
};

enum class SmtpReadStatus {
  kComplete,   // one reply was taken from the front of the buffer
  kNeedMore,   // the buffer holds only the start of a reply
  kMalformed,  // a line that is not "ddd", "ddd text" or "ddd-text"
  kTooLong,    // a line or the reply passed its bound
};

struct SmtpLimits {
  std::size_t maxLineLength = 2048;  // bytes of one line, without its line end
  std::size_t maxReplyLines = 256;
};

// Takes the first complete reply from the front of `buffer` (lines end in
// LF, a CR before it is dropped): on kComplete it fills `reply` and removes
// its bytes from `buffer`; otherwise both are left as they were. A reply
// ends with its first line whose code is followed by a blank or nothing;
// its code is that line's.
SmtpReadStatus TakeSmtpReply(std::string& buffer, SmtpReply& reply, const SmtpLimits& limits = {});

// Result codes of VerifySender.
constexpr int kSenderRecipientOk = 0;    // accepted (or refused with 554)
constexpr int kSenderNoSession = 1;      // connection, greeting or EHLO/HELO failed
constexpr int kSenderRefused = 2;        // MAIL FROM not answered with 250
constexpr int kSenderRecipientRefused = 3;  // RCPT TO refused, not with 554

struct SenderVerification {
  int code = kSenderNoSession;
  // "Recipient OK"; "Connection failed" when no connection was open;
  // otherwise the last reply's code, a blank and its trimmed text. A reply
  // that never came (time-out, closed connection, bounds passed) counts as
  // an empty text.
  std::string text;
};

struct SmtpOptions {
  std::uint16_t port = 25;
  // The name announced with EHLO/HELO; "" means os::ComputerName() in lower
  // case, or the network stack's host name when that is empty.
  std::string heloName;
  SmtpLimits limits;
};

// Connects to `exchanger` (a host name, resolved with ForwardLookup within
// the time-out, or a dotted address), reads the 220 greeting, sends
// "EHLO name" (and "HELO name" when that is not answered with 250),
// "MAIL FROM: <address>", "RCPT TO: <address>" and "QUIT". The connect and
// each reply are bounded by timeoutMs. CR, LF and NUL bytes are removed
// from `address` before it is sent. After a reply that did not come no
// further command (not even QUIT) is sent.
SenderVerification VerifySender(const std::string& exchanger, int timeoutMs, const std::string& address,
                                const SmtpOptions& options = {});

}  // namespace quelta
