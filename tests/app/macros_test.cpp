// The template macros: every listed name answers, others do not; the debug
// page of a session before start-up.
#include "app/macros.h"

#include <gtest/gtest.h>

#include "app/session.h"

using namespace quelta;

namespace {

TEST(Macros, EveryListedNameAndNoOther) {
  const Session session;
  const std::string list = MacroList();
  int names = 0;
  std::string text;
  for (std::size_t at = 0, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2, ++names) {
    text = "unset";
    EXPECT_TRUE(MacroText(session, list.substr(at, end - at), text)) << list.substr(at, end - at);
    EXPECT_NE("unset", text);
  }
  EXPECT_EQ(18, names);
  EXPECT_EQ(list.size(), list.rfind("Quelta_Test\r\n") + 13);
  text = "unset";
  EXPECT_FALSE(MacroText(session, "quelta_test", text));
  EXPECT_FALSE(MacroText(session, "Quelta_Tes", text));
  EXPECT_EQ("unset", text);
  for (const char* figure : {"Quelta_BayesMails", "Quelta_BayesWords"}) {
    EXPECT_TRUE(MacroText(session, figure, text));
    EXPECT_EQ("0", text) << figure;  // no filter before start-up
  }
  const std::string rule(80, '=');
  EXPECT_TRUE(MacroText(session, "Quelta_DebugInfo", text));
  EXPECT_EQ("QUELTA DEBUG INFO\r\n" + rule + "\r\nTB! WorkDir:   \r\nTB! SpamValue: 99\r\n" + rule + "\r\n", text);
}

}  // namespace
