#include "ui/list_editor_model.h"

#include "app/locations.h"
#include "base/strings.h"
#include "ui/texts.h"

namespace quelta {

namespace {

const char* Suffix(ListMode mode) {
  switch (mode) {
    case ListMode::Whitelist: return "WL";
    case ListMode::AddressBooks: return "AB";
    case ListMode::Dnsbl: return "DNSBL";
    case ListMode::Urlbl: return "URLBL";
    case ListMode::Blacklist: return "BL";
  }
  return "WL";
}

}  // namespace

std::string ListFilePath(const DialogHost& host, ListMode mode) {
  const Locations& f = host.Folders();
  switch (mode) {
    case ListMode::Whitelist: return f.whitelist + "Whitelist.txt";
    case ListMode::AddressBooks: return f.easyPath + "EasyAddrBooks.dat";
    case ListMode::Dnsbl: return f.easyPath + "EasyDNSBL.dat";
    case ListMode::Urlbl: return f.easyPath + "EasyURLBL.dat";
    case ListMode::Blacklist: return f.blacklist + "Blacklist.txt";
  }
  return std::string();
}

std::string NormaliseLines(const std::string& text) {
  std::string out;
  for (const std::string& line : SplitLines(text)) out += line + "\r\n";
  return out;
}

ListEditorModel::ListEditorModel(DialogHost& host, ListMode mode) : host_(host), mode_(mode) {}

std::string ListEditorModel::Caption() const {
  return UiText(host_.Language(), std::string("Opt|EasyCaption") + Suffix(mode_));
}

std::string ListEditorModel::Description() const {
  return UiText(host_.Language(), std::string("Opt|EasyDescription") + Suffix(mode_));
}

std::string ListEditorModel::ButtonCaption(const std::string& control) const {
  return UiText(host_.Language(), "Opt|" + control);
}

std::string ListEditorModel::Text() const {
  std::string data;
  if (!os::FileExists(Path()) || !os::ReadFile(Path(), data)) return std::string();
  return NormaliseLines(data);
}

bool ListEditorModel::Save(const std::string& text, DialogServices& services) {
  if (host_.ReplaceDataFile(Path(), NormaliseLines(text))) return true;
  services.Tell(UiText(host_.Language(), "Opt|msgSaveErrTitle"),
                UiText(host_.Language(), "Opt|msgSaveErrText", Path()), os::MsgIcon::Error);
  return false;
}

}  // namespace quelta
