// Reading SMTP replies from received bytes, with the bounds that cut off
// hostile servers.
#include "net/smtp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelta {
namespace {

struct Case {
  std::string bytes;
  SmtpReadStatus status;
  int code;
  std::string text;
  std::string left;  // bytes still in the buffer afterwards
};

TEST(SmtpReply, RepliesAreTakenFromTheFrontOfTheBuffer) {
  const SmtpLimits small{16, 3};
  const std::vector<Case> cases = {
      {"220 mx ready\r\n", SmtpReadStatus::kComplete, 220, "mx ready", ""},
      {"250-one\r\n250-two \r\n250 three\r\n354 next", SmtpReadStatus::kComplete, 250, "one\r\ntwo \r\nthree",
       "354 next"},
      {"250 lf only\n250 second\n", SmtpReadStatus::kComplete, 250, "lf only", "250 second\n"},
      {"221\r\n", SmtpReadStatus::kComplete, 221, "", ""},
      {"550-\r\n550   \r\n", SmtpReadStatus::kComplete, 550, "", ""},
      {"250-one\r\n250", SmtpReadStatus::kNeedMore, 0, "", "250-one\r\n250"},
      {"", SmtpReadStatus::kNeedMore, 0, "", ""},
      {"25O ok\r\n", SmtpReadStatus::kMalformed, 0, "", "25O ok\r\n"},
      {"250xok\r\n", SmtpReadStatus::kMalformed, 0, "", "250xok\r\n"},
      {"650 ok\r\n", SmtpReadStatus::kMalformed, 0, "", "650 ok\r\n"},
      {"\r\n", SmtpReadStatus::kMalformed, 0, "", "\r\n"},
      {"250-ok\r\nHello\r\n", SmtpReadStatus::kMalformed, 0, "", "250-ok\r\nHello\r\n"},
      {"250 456789012345\r\n", SmtpReadStatus::kComplete, 250, "456789012345", ""},  // 16 bytes: at the bound
      {"250 4567890123456\r\n", SmtpReadStatus::kTooLong, 0, "", "250 4567890123456\r\n"},
      {"250 4567890123456", SmtpReadStatus::kNeedMore, 0, "", "250 4567890123456"},  // its CR may follow
      {"250 45678901234567", SmtpReadStatus::kTooLong, 0, "", "250 45678901234567"},
      {"250-a\r\n250-b\r\n250 c\r\n", SmtpReadStatus::kComplete, 250, "a\r\nb\r\nc", ""},
      {"250-a\r\n250-b\r\n250-c\r\n", SmtpReadStatus::kNeedMore, 0, "", "250-a\r\n250-b\r\n250-c\r\n"},
      {"250-a\r\n250-b\r\n250-c\r\n250 d\r\n", SmtpReadStatus::kTooLong, 0, "", "250-a\r\n250-b\r\n250-c\r\n250 d\r\n"},
  };
  for (const auto& c : cases) {
    std::string buffer = c.bytes;
    SmtpReply reply;
    EXPECT_EQ(TakeSmtpReply(buffer, reply, small), c.status) << c.bytes;
    EXPECT_EQ(reply.code, c.code) << c.bytes;
    EXPECT_EQ(reply.Text(), c.text) << c.bytes;
    EXPECT_EQ(buffer, c.left) << c.bytes;
  }
}

}  // namespace
}  // namespace quelta
