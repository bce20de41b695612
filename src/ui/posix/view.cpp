// The POSIX build has no dialogs yet: the options dialog returns at once,
// and the services answer as a user who cancels everything would.
#include "ui/view.h"

namespace quelta {

namespace {

class NoServices final : public DialogServices {
 public:
  bool Ask(const std::string&, const std::string&) override { return false; }
  void Tell(const std::string& title, const std::string& text, os::MsgIcon icon) override {
    os::ShowMessage(title, text, icon);
  }
  bool ChooseFile(const std::string&, const std::string&, std::string&) override { return false; }
  bool OpenHelp(const std::string&) override { return false; }
};

}  // namespace

void RunOptionsDialog(DialogHost&, DialogServices&) {}

std::unique_ptr<DialogServices> MakePlatformServices() { return std::make_unique<NoServices>(); }

}  // namespace quelta
