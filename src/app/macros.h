// The eighteen template macros the host offers in its message templates,
// and the plug-in's information page.
#pragma once

#include <string>

namespace quelta {

class Session;

// Every macro name followed by CR LF, in table order.
std::string MacroList();
// Computes the text of the macro `name` (compared byte for byte); false
// when no macro has that name.
bool MacroText(const Session& session, const std::string& name, std::string& text);
// The HTML information page.
std::string InfoPage(const Session& session);

}  // namespace quelta
