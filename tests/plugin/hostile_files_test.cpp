// Random bytes in the Bayes, list, auto-white-list and address-book files:
// the exports never fail, the files keep their record structure and the
// defined report lines appear.
#include "support/data_files.h"
#include "support/plugin_harness.h"

using harness::PluginFolder;
using testing_support::AddressBookFile;
using testing_support::LE32;

namespace {

TEST(HostileFiles, RandomBytesInEveryDataFile) {
  std::mt19937 rng(20061);
  auto noise = [&](std::size_t n, const std::string& alphabet) {
    std::string out(n, '\0');
    for (auto& c : out) c = alphabet.empty() ? static_cast<char>(rng() & 0xFF) : alphabet[rng() % alphabet.size()];
    return out;
  };
  const std::string textish = "<>|\"*#@ab09\r\n\x01\x9D\xFF ";
  int booksRead[2] = {0, 0};  // rounds whose book was read: hostile, well-formed
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    PluginFolder f;
    const std::string book = (f.Dir() / "b.abd").string();
    f.UseRulesDat("FromAddrInAB 1 I \"" + book + "\" [b]\r\nSenderInAutoWL 1 I \"\" [a]\r\nBayesScore 0 IP \"\" [s]\r\n"
                  "ToAddrInAB 1 IC \"" + book + "\" [t]\r\n");
    f.Write("Bayes.wdb", noise(rng() % 400, ""));
    f.Write("Bayes.udb", noise(rng() % 400, ""));
    f.Write("AutoWL.lst", noise(rng() % 2000, textish));
    f.Write("Whitelist.txt", noise(rng() % 2000, textish));
    f.Write("Blacklist.txt", noise(rng() % 2000, textish));
    const bool wellFormed = round % 2 == 1;  // a readable book with hostile addresses and a tail
    f.Write("b.abd", wellFormed ? AddressBookFile({"a@b.example", noise(40, textish), ""}) + noise(rng() % 50, "")
                                : LE32(0x19988991u) + noise(20 + rng() % 300, ""));
    auto& p = f.Load();
    EXPECT_EQ(1, p.Initialize() & 0xFF);
    const std::string msg = "From: <a@b.example>\r\nTo: <a@b.example>, <x@y>\r\nSubject: " + noise(30, textish) +
                            "\r\n\r\n" + noise(500, textish) + "\r\n";
    f.Score(msg);
    f.Feed(msg, round % 3);
    f.Score(msg);
    EXPECT_EQ(1, p.Finalize());
    EXPECT_EQ(0u, f.Read("Bayes.wdb").size() % 12);
    EXPECT_EQ(0u, f.Read("Bayes.udb").size() % 13);
    const std::string log = f.Log();
    EXPECT_EQ(std::string::npos, log.find("failed!\r\n"));
    EXPECT_NE(std::string::npos, log.find("Quelta: Bayes databases loaded successfully (W="));
    EXPECT_NE(std::string::npos, log.find("Quelta: Automated whitelist loaded successfully (R="));
    EXPECT_NE(std::string::npos, log.find("Quelta: Whitelist loaded successfully (R="));
    // A list rule that marks the message ends the evaluation before the book is read.
    if (log.find("Message marked as") != std::string::npos) continue;
    ++booksRead[wellFormed];
    const std::string wrong = "ERROR: Address book file \"" + book + "\" has a wrong format!\r\n";
    EXPECT_EQ(wellFormed, log.find(wrong) == std::string::npos);
    if (wellFormed) EXPECT_NE(std::string::npos, log.find("Match: Intern rule \"FromAddrInAB\" (b), score: 1.\r\n"));
  }
  EXPECT_GT(booksRead[0], 0);
  EXPECT_GT(booksRead[1], 0);
}

}  // namespace
