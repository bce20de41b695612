// The rendered text of a message: what a mail client shows as its text,
// which the host hands to the plug-in as data item 100008 (the rule field
// "TEXT"; the Bayes filter's body words with its option NoHtmlPart).
//
// The text is the message's first text part that is not an attachment
// (text/plain; else text/html converted to text as a browser lays it out),
// with its transfer encoding undone and its charset converted to
// Windows-1252; format=flowed lines are joined; characters a client does
// not show (soft hyphens, zero-width spaces and joiners, byte-order marks)
// are left out and no-break spaces become blanks; lines end in CR LF. A message without such a part
// renders as "". A part without a charset is read as UTF-8 when it is valid UTF-8, else as
// Windows-1252; a charset this host does not know leaves the bytes as they are. Pure function over
// the message text; any thread; never fails.
#pragma once

#include <string>

namespace quelta_host {

// `message`: the raw message with CR LF line ends (item 100005).
std::string RenderedText(const std::string& message);

}  // namespace quelta_host
