// Pass-through: a message as received, given back with the filter's header
// fields added, the way a delivery filter must: every byte of the message
// stays as it was (its line ends too), except earlier X-Quelta-* verdict
// fields, which are removed so that no sender can forge a verdict.
// Pure functions; any thread.
#pragma once

#include <string>
#include <vector>

namespace quelta_host {

// The names of the verdict fields the filter writes (and removes when a
// message arrives with them).
extern const char* const kVerdictFields[3];  // X-Quelta-Score, -Status, -Rules

// The line end the message uses: that of its first line ("\r\n", "\n" or
// "\r"); "\n" for a message without any.
std::string LineEndOf(const std::string& message);

// `message` with `fields` ("Name: value", without line end) added at the end
// of its header, each ended with the message's own line end. When the
// message has no empty line ending its header, the fields are appended at
// its end (after a line end if its last line lacks one).
std::string WithFields(const std::string& message, const std::vector<std::string>& fields);

// `value` made fit for a header field: every byte outside printable ASCII
// becomes "?", and the text is folded before an item of `items` when a line
// would pass 78 characters. `name` is the field name (for the first line's
// length); `eol` the line end to fold with.
std::string FoldedField(const std::string& name, const std::vector<std::string>& items,
                        const std::string& eol);

// The message without a leading mbox "From " line (as procmail hands one
// over); the message itself otherwise.
std::string WithoutEnvelopeLine(const std::string& message);

}  // namespace quelta_host
