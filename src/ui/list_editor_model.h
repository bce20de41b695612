// The list editor without a window: one plain-text list file edited as a
// whole (white list, black list, block-list servers, URL block-list
// servers, address-book list), chosen by a mode.
//
// Promises: Text gives the file's lines joined by CR LF (every line ending
// in CR LF), "" when the file is missing; Save writes the lines of the
// text the same way, replacing the file in one step (temporary file +
// rename), and tells the user when that failed (the dialog then stays open
// with the text). No call throws. One thread (the dialog's).
#pragma once

#include <string>

#include "ui/dialog_host.h"

namespace quelta {

enum class ListMode { Whitelist = 1, AddressBooks = 2, Dnsbl = 3, Urlbl = 4, Blacklist = 5 };

// The file a mode edits, in the host's folders.
std::string ListFilePath(const DialogHost& host, ListMode mode);
// Lines of text (CR LF, LF or CR) each followed by CR LF.
std::string NormaliseLines(const std::string& text);

class ListEditorModel {
 public:
  ListEditorModel(DialogHost& host, ListMode mode);

  std::string Caption() const;      // "Opt|EasyCaption.."
  std::string Description() const;  // "Opt|EasyDescription.."
  // "btnOk", "btnCancel": the options dialog's texts.
  std::string ButtonCaption(const std::string& control) const;
  std::string Path() const { return ListFilePath(host_, mode_); }
  ListMode Mode() const { return mode_; }

  // The file's contents for the text field.
  std::string Text() const;
  // Ok: false (after an error box) when the file could not be written.
  bool Save(const std::string& text, DialogServices& services);

 private:
  DialogHost& host_;
  ListMode mode_;
};

}  // namespace quelta
