#pragma once

#include <string>
#include <string_view>

namespace korvantis {

// `text` as a terminal may be given it: each byte of a control character
// (C0, DEL, C1) or of a bidirectional control is written as \xNN, so that a
// log's text can neither move the cursor, clear the screen, ring the bell,
// reorder what follows, nor break a line in two. Everything else is left
// as it is (a byte that is no UTF-8 too: the terminal shows it as such).
std::string terminalText(std::string_view text);

}  // namespace korvantis
