#include "ui/address_books_model.h"

#include "app/locations.h"
#include "base/strings.h"
#include "lists/address_book.h"
#include "ui/texts.h"

namespace quelta {

AddressBooksModel::AddressBooksModel(DialogHost& host) : host_(host) {
  std::string text;
  if (!os::FileExists(Path()) || !os::ReadFile(Path(), text)) return;
  for (const std::string& line : SplitLines(text)) rows_.push_back({line, StateOf(line)});
}

std::string AddressBooksModel::Path() const { return host_.Folders().easyPath + "EasyAddrBooks.dat"; }

std::string AddressBooksModel::Caption() const { return UiText(host_.Language(), "OptAB|frmTitle"); }

std::string AddressBooksModel::ColumnTitle(int column) const {
  return UiText(host_.Language(), column == 0 ? "OptAB|lvABFileName" : "OptAB|lvABState");
}

std::string AddressBooksModel::ControlCaption(const std::string& control) const {
  const bool shared = control == "btnOk" || control == "btnCancel";
  return UiText(host_.Language(), (shared ? "Opt|" : "OptAB|") + control);
}

std::string AddressBooksModel::StateText(BookState state) const {
  switch (state) {
    case BookState::NotFound: return UiText(host_.Language(), "OptAB|lvABStateNotFound");
    case BookState::WrongFormat: return UiText(host_.Language(), "OptAB|lvABStateWrongFormat");
    case BookState::Empty: return UiText(host_.Language(), "OptAB|lvABStateEmpty");
    case BookState::Ok: break;
  }
  return UiText(host_.Language(), "OptAB|lvABStateOk");
}

BookState AddressBooksModel::StateOf(const std::string& fileName) const {
  std::string path = fileName;
  if (!os::FileExists(path)) path = host_.HostDir() + fileName;
  if (fileName.empty() || !os::FileExists(path)) return BookState::NotFound;
  const std::string text = ReadAddressBook(path);
  if (text == AddrBookWrongFormat()) return BookState::WrongFormat;
  return text.empty() ? BookState::Empty : BookState::Ok;
}

int AddressBooksModel::Add(DialogServices& services) {
  std::string name;
  if (!services.ChooseFile(UiText(host_.Language(), "OptAB|DlgOpenABFileTitle"),
                           UiText(host_.Language(), "OptAB|DlgOpenABFileFilter"), name))
    return -1;
  return AddName(name);
}

int AddressBooksModel::AddName(const std::string& fileName) {
  rows_.push_back({fileName, StateOf(fileName)});
  return static_cast<int>(rows_.size()) - 1;
}

void AddressBooksModel::Remove(int row) {
  if (row >= 0 && row < static_cast<int>(rows_.size())) rows_.erase(rows_.begin() + row);
}

bool AddressBooksModel::Save(DialogServices& services) {
  std::string text;
  for (const BookRow& r : rows_) text += r.fileName + "\r\n";
  if (host_.ReplaceDataFile(Path(), text)) return true;
  services.Tell(UiText(host_.Language(), "Opt|msgSaveErrTitle"),
                UiText(host_.Language(), "Opt|msgSaveErrText", Path()), os::MsgIcon::Error);
  return false;
}

}  // namespace quelta
