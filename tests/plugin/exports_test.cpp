#include "support/plugin_harness.h"

using harness::PluginFolder;

TEST(Exports, IdentificationAndCopyRule) {
  PluginFolder f;
  auto& p = f.Load();
  ASSERT_EQ(1, p.Initialize() & 0xFF);
  EXPECT_EQ(6, p.GetName(nullptr, 0));
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(3, p.GetName(buf, 3));
  EXPECT_EQ("Que", std::string(buf, 3));  // exactly 3 bytes copied
  EXPECT_EQ('#', buf[3]);                 // and no terminating zero
  EXPECT_EQ(0, p.GetName(buf, 0));
  EXPECT_EQ(6, p.GetName(buf, -1));
  EXPECT_EQ("Quelta", p.Text(p.GetName));
  EXPECT_EQ(0, p.GetStatus());
  EXPECT_EQ(1, p.NeedConfig());
  EXPECT_EQ(0, p.Setup());
  EXPECT_EQ(1, p.Finalize());
}
