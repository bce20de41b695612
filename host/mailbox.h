// Mailboxes: which files a command-line argument names (a file, a folder, a
// Maildir with its Maildir++ sub-folders), how an mbox file splits into
// messages, and how a file name is written on one output line.
// Pure functions over the file system and strings; no state, any thread.
#pragma once

#include <string>
#include <vector>

namespace quelta_host {

// The message files `arg` names, appended to `files` in a stable order:
// - a folder that is a Maildir (it has cur/ or new/): the message files of
//   cur/ and new/ only; with `recursive`, also every sub-folder (Maildir++
//   folders such as ".Junk") the same way;
// - any other folder: its message files; with `recursive`, its sub-folders;
// - anything else that exists (a regular file, a pipe, /dev/fd/N): itself.
// Message files are the entries that are not folders, whose names do not
// start with "." and are no index or list file of a mail server
// (IsServerFile). Symbolic links to folders are not followed when
// descending. False with `error` set when `arg` does not exist.
bool CollectMessageFiles(const std::string& arg, bool recursive, std::vector<std::string>& files,
                         std::string& error);

// True for the names of the bookkeeping files that IMAP and POP servers keep
// in mail folders (dovecot.index*, dovecot-uidlist, courierimapuiddb,
// maildirfolder, maildirsize, subscriptions, ...), which are not messages.
bool IsServerFile(const std::string& name);

// An mbox file begins with a "From " line.
bool IsMbox(const std::string& data);

// The messages of an mbox file: each "From " line at the start or after an
// empty line begins a message (the line itself is not part of it, nor the
// empty line before the next one); lines ">From ", ">>From " ... lose one
// ">". Line ends are kept as they are.
std::vector<std::string> SplitMbox(const std::string& data);

// A name as one field of an output line: tab, line feed, carriage return,
// other control characters and (on POSIX) the backslash are written as C
// escapes (\t, \n, \r, \xHH, \\); every other byte stays.
std::string EscapeName(const std::string& name);

}  // namespace quelta_host
