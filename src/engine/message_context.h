// MessageContext: one message while it is being scored or trained: its
// parser, its Bayes word table (built on first request) and the texts the
// case-insensitive simple rules compare against, upper-cased once.
//
// Promises: lives for one message on one thread; nothing is shared with
// other messages.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bayes/tokenizer.h"
#include "bayes/word_table.h"
#include "message/parser.h"

namespace quelta {

// Upper-cased texts by the system's rules, remembered for the last few
// distinct texts: a rule set holds many case-insensitive rules on the same
// field, and the field text is then upper-cased once per message instead of
// once per rule. Texts above kMaxCachedText are not remembered.
class UpperCaseCache {
 public:
  // Whether upperTerm occurs in text upper-cased.
  bool Contains(const std::string& text, const std::string& upperTerm);

 private:
  static constexpr std::size_t kEntries = 8;
  static constexpr std::size_t kMaxCachedText = 256 * 1024;
  struct Entry {
    std::string source, upper;
    bool used = false;
  };
  const std::string& Upper(const std::string& text);
  Entry entries_[kEntries];
  std::size_t next_ = 0;
};

class MessageContext {
 public:
  explicit MessageContext(std::string raw, const MessageOptions& options = {},
                          RenderedTextSource* rendered = nullptr);

  MessageParser& Parser() { return parser_; }
  // The Bayes word table of the message, built with options on first request.
  WordTable& Words(const TokenizerOptions& options);
  UpperCaseCache& UpperCase() { return upper_; }

 private:
  MessageParser parser_;
  std::unique_ptr<WordTable> words_;
  UpperCaseCache upper_;
};

}  // namespace quelta
