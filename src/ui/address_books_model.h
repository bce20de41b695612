// The address-book dialog without a window: the list of the host's
// address-book files kept in "EasyAddrBooks.dat", each shown with its
// state.
//
// Promises: the state of a name is found as the plug-in would find the
// book: the name as written, else the host's working folder + the name;
// then the book is read with the address-book reader (which trusts no
// byte of the file). Saving writes every name, in order, one per line,
// replacing the file in one step (temporary file + rename), and tells the
// user when that failed (the rows stay). No call throws. One thread.
#pragma once

#include <string>
#include <vector>

#include "ui/dialog_host.h"

namespace quelta {

enum class BookState { NotFound, WrongFormat, Empty, Ok };

struct BookRow {
  std::string fileName;
  BookState state = BookState::NotFound;
};

class AddressBooksModel {
 public:
  // Reads EasyPath + "EasyAddrBooks.dat" (one row per line) when it exists.
  explicit AddressBooksModel(DialogHost& host);

  std::string Caption() const;                 // "OptAB|frmTitle"
  std::string ColumnTitle(int column) const;   // 0 file name, 1 state
  // "btnAdd", "btnRemove": "OptAB|" + name; "btnOk", "btnCancel": the
  // options dialog's texts.
  std::string ControlCaption(const std::string& control) const;
  std::string StateText(BookState state) const;
  std::string Path() const;

  const std::vector<BookRow>& Rows() const { return rows_; }
  BookState StateOf(const std::string& fileName) const;

  // Add: the file-open dialog; the chosen name becomes a new row. Its
  // index, or -1 when the user cancelled.
  int Add(DialogServices& services);
  int AddName(const std::string& fileName);
  // Remove is offered only while exactly one row is selected.
  static bool CanRemove(int selectedCount) { return selectedCount == 1; }
  void Remove(int row);

  // Ok: false (after an error box) when the file could not be written.
  bool Save(DialogServices& services);

 private:
  DialogHost& host_;
  std::vector<BookRow> rows_;
};

}  // namespace quelta
