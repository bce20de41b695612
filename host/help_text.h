// The texts of 'quelta help' and 'quelta help COMMAND'. The man page
// (quelta.1) and the bash completion name the same options; a test keeps
// them in step.
#pragma once

namespace quelta_host {

inline const char* const kUsageLine =
    "Usage: quelta [OPTIONS] COMMAND [ARGS]  ('quelta help' lists the commands)\n";

inline const char* const kHelp =
    "Usage: quelta [OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "Scores, filters and trains e-mail with the Quelta anti-spam plug-in, loading\n"
    "it exactly as the mail client does.\n"
    "\n"
    "Commands:\n"
    "  score FILE|DIR|-...   print score, verdict and name of each message\n"
    "  filter [FILE|-]       pass one message through, with X-Quelta-* fields added\n"
    "  train --spam|--ham FILE|DIR|-...\n"
    "                        teach the Bayes filter\n"
    "  evaluate --spam PATH --ham PATH\n"
    "                        train on part of a corpus, score the rest, report\n"
    "  init [DIR]            create a profile from the default one\n"
    "  lint                  check the profile's rule files and lists\n"
    "  db stats|check|backup FILE|restore FILE\n"
    "                        the Bayes databases: figures, a check, a backup\n"
    "  info                  name, version, and the files and threshold in use\n"
    "  macro NAME|--list     print the text of a template macro\n"
    "  setup                 open the options dialog\n"
    "  help [COMMAND]        this text, or a command's\n"
    "\n"
    "Options (anywhere on the line; a command's own options follow the command):\n"
    "  --profile DIR     the profile: the plug-in's data (Quelta.ini, rules, lists,\n"
    "                    Bayes databases, Logs/). Default: $QUELTA_PROFILE, else the\n"
    "                    plug-in's own folder when it was found beside this program\n"
    "                    or by --plugin-dir, else ${XDG_DATA_HOME:-~/.local/share}/quelta.\n"
    "  --plugin-dir DIR  the folder of Quelta.tbp. Default: this program's folder\n"
    "                    when it holds one, else the installed plug-in.\n"
    "  --host-dir DIR    the folder of TBPlugin.INI ([AntiSpam] JunkScore=N, the\n"
    "                    junk threshold, default 99) and of address books.\n"
    "                    Default: $QUELTA_HOST_WORKDIR, else the profile.\n"
    "  --threshold N     a message scoring above N is spam; overrides TBPlugin.INI\n"
    "                    for this run, for the plug-in too.\n"
    "  --no-progress     no progress bar on standard error.\n"
    "  -h, --help        help; 'quelta COMMAND --help' for a command.\n"
    "  --version         print the version.\n"
    "  --                what follows are names, not options.\n"
    "\n"
    "Exit status: 0 ham or done, 1 spam (score, filter), 2 error. Every \"ERROR:\"\n"
    "line the plug-in logs during the run is shown on standard error.\n"
    "See quelta(1) for mailboxes, delivery recipes and files.\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

inline const CommandHelp kCommandHelp[] = {
    {"score",
     "Usage: quelta score [OPTIONS] FILE|DIR|-...\n"
     "\n"
     "Scores each message and prints a line for it: the score, SPAM or HAM and its\n"
     "name, separated by tabs (tab, newline, other control characters and the\n"
     "backslash in names are written as \\t, \\n, \\xHH, \\\\). A file holding an mbox\n"
     "(it begins with \"From \") gives one line per message, named FILE:N. A folder\n"
     "gives its message files; a Maildir (a folder with cur/ or new/) only those in\n"
     "cur/ and new/. Index and list files of mail servers are skipped. '-' reads\n"
     "one message from standard input.\n"
     "\n"
     "  -r, --recursive   descend into sub-folders (Maildir++ folders too).\n"
     "  -v, --explain     after each line, the message's report from the log: its\n"
     "                    header, the rules that matched with their scores, the\n"
     "                    Bayes words (with [Bayes] ExtendedLogging=1), the file.\n"
     "  --json            one JSON object per message instead of the line.\n"
     "  --no-learn        leave the Bayes databases and the statistics as they are\n"
     "                    (scoring learns by default: [Bayes] AddHigher, AddLower,\n"
     "                    AddMaxScore, AddMarkSpam, AddMarkHam).\n"
     "  --pass            work as 'quelta filter' on one message.\n"
     "  --rules-header, --exit-zero\n"
     "                    with --pass: as for 'quelta filter'.\n"
     "\n"
     "Exit status: 0 all ham, 1 any spam, 2 any error.\n"},
    {"filter",
     "Usage: quelta filter [OPTIONS] [FILE|-]\n"
     "\n"
     "Reads one message (default: standard input) and writes it to standard output\n"
     "as it came, with these fields added at the end of its header:\n"
     "  X-Quelta-Score: N\n"
     "  X-Quelta-Status: Spam, threshold=T        (or Ham)\n"
     "  X-Quelta-Rules: FIELD=SCORE (comment), ... (with --rules-header)\n"
     "The message's own line ends are kept byte for byte; X-Quelta-* fields it\n"
     "arrived with are removed. On an error the message is written unchanged.\n"
     "\n"
     "  --rules-header    add X-Quelta-Rules: the rules that matched.\n"
     "  --exit-zero       exit 0 for spam too: for delivery agents that take any\n"
     "                    other status for a failure (procmail, maildrop, Exim,\n"
     "                    Dovecot); errors still exit 2.\n"
     "  --no-learn        as for score.\n"
     "\n"
     "Exit status: 0 ham, 1 spam, 2 error (the message still passed through).\n"},
    {"train",
     "Usage: quelta train --spam|--ham [-r] FILE|DIR|-...\n"
     "\n"
     "Teaches the Bayes filter that the messages are spam (--spam) or ham (--ham);\n"
     "a message trained the other way before is re-classified. Prints \"spam\" or\n"
     "\"ham\" and the name of each message. Inputs as for score.\n"
     "\n"
     "  --spam, --ham     the class.\n"
     "  -r, --recursive   descend into sub-folders.\n"
     "\n"
     "Exit status: 0 done, 2 error.\n"},
    {"evaluate",
     "Usage: quelta evaluate --spam PATH... --ham PATH... [OPTIONS]\n"
     "\n"
     "Measures the profile on a labelled corpus without changing it: copies the\n"
     "profile to a scratch folder (with empty Bayes databases), trains on a part of\n"
     "the spam and of the ham, scores the rest without learning, prints the false\n"
     "positives and negatives at the threshold in use and at the lowest threshold\n"
     "with no false positive, and writes an HTML report with plots (score\n"
     "histograms, errors against the threshold).\n"
     "\n"
     "  --spam PATH       spam: a file, an mbox or a folder (may be repeated).\n"
     "  --ham PATH        ham, the same way.\n"
     "  --train-fraction F\n"
     "                    the part used for training, 0 < F < 1 (default 0.5),\n"
     "                    spread evenly over each class in name order.\n"
     "  --report FILE     the HTML report (default quelta-report.html).\n"
     "  -r, --recursive   descend into sub-folders.\n"
     "\n"
     "Exit status: 0 done, 2 error.\n"},
    {"init",
     "Usage: quelta init [DIR]\n"
     "\n"
     "Creates a profile in DIR (default ${XDG_DATA_HOME:-~/.local/share}/quelta)\n"
     "from the installed default profile. Existing files are never replaced:\n"
     "running it again only adds what is missing. Point quelta at another profile\n"
     "with --profile DIR or the environment variable QUELTA_PROFILE.\n"
     "\n"
     "Exit status: 0 done, 2 error.\n"},
    {"lint",
     "Usage: quelta lint\n"
     "\n"
     "Reads the profile's rules as the plug-in's start-up does (Whitelist.txt and\n"
     "Blacklist.txt, then easy mode's rules with EasyRules.dat and EasyMode.rdb, or\n"
     "Rules.dat with its includes) and prints each problem as FILE:LINE: TEXT:\n"
     "rejected rule lines, regular expressions that do not compile (with PCRE2's\n"
     "position and reason), unknown data fields and internal checks, comparison\n"
     "codes that never match, missing or looping includes, comment blocks left\n"
     "open, missing list files and list entries that match no address. Files are\n"
     "only read.\n"
     "\n"
     "Exit status: 0 no problems, 1 problems found, 2 error.\n"},
    {"db",
     "Usage: quelta db stats | check | backup FILE | restore FILE\n"
     "\n"
     "Works on the profile's Bayes databases, Bayes.wdb (words) and Bayes.udb\n"
     "(trained messages), as one pair:\n"
     "  stats          the files and their sizes, the messages trained as spam\n"
     "                 and as ham, the words.\n"
     "  check          reports contents no run of the plug-in writes: a record cut\n"
     "                 short, a missing header record, word counts of a class with\n"
     "                 no trained message, words or messages recorded twice, bad\n"
     "                 class bytes or dates, more messages counted than remembered,\n"
     "                 one file without the other. Changes nothing.\n"
     "  backup FILE    writes both files into FILE, with a checksum.\n"
     "  restore FILE   replaces the pair by the one in FILE; a damaged backup is\n"
     "                 refused and nothing is changed.\n"
     "\n"
     "Exit status: 0 done (check: nothing found), 1 check found problems, 2 error.\n"},
    {"info",
     "Usage: quelta info [--html]\n"
     "\n"
     "Prints the plug-in's name and version, the plug-in file, the profile, the\n"
     "host folder, the log file and the junk threshold in use.\n"
     "\n"
     "  --html            print the plug-in's information page (HTML) instead.\n"},
    {"macro",
     "Usage: quelta macro NAME | --list\n"
     "\n"
     "Prints the text of a template macro (for example Quelta_BayesWords or\n"
     "Quelta_MsgFiltered).\n"
     "\n"
     "  --list            list the macro names.\n"
     "\n"
     "Exit status: 0 done, 2 no such macro.\n"},
    {"setup",
     "Usage: quelta setup\n"
     "\n"
     "Opens the plug-in's options dialog.\n"},
    {"help",
     "Usage: quelta help [COMMAND]\n"
     "\n"
     "Prints the help, or a command's.\n"},
};

}  // namespace quelta_host
