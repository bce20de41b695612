#include "engine/message_context.h"

#include <cstring>

#include "os/env.h"

namespace quelta {

bool UpperCaseCache::Contains(const std::string& text, const std::string& upperTerm) {
  if (text.size() > kMaxCachedText)
    return os::AnsiUpperCase(text).find(upperTerm) != std::string::npos;
  return Upper(text).find(upperTerm) != std::string::npos;
}

const std::string& UpperCaseCache::Upper(const std::string& text) {
  for (Entry& e : entries_) {
    if (e.used && e.source.size() == text.size() &&
        std::memcmp(e.source.data(), text.data(), text.size()) == 0)
      return e.upper;
  }
  Entry& e = entries_[next_];
  next_ = (next_ + 1) % kEntries;
  e.used = false;
  e.source = text;
  e.upper = os::AnsiUpperCase(text);
  e.used = true;
  return e.upper;
}

MessageContext::MessageContext(std::string raw, const MessageOptions& options,
                               RenderedTextSource* rendered)
    : parser_(std::move(raw), options, rendered) {}

WordTable& MessageContext::Words(const TokenizerOptions& options) {
  if (!words_) {
    auto words = std::make_unique<WordTable>();
    TokenizeMessage(parser_, options, *words);
    words_ = std::move(words);
  }
  return *words_;
}

}  // namespace quelta
