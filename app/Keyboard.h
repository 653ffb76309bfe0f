// The windows by keyboard alone: F10 opens the menu bar, and Alt with a
// letter never types that letter into a field.
#pragma once

class QMainWindow;

namespace quillon {

// F10 in window opens the first menu of its menu bar that can be opened
// (a bar of plain commands: highlights the first), as on other desktops.
void open_menu_bar_with_f10(QMainWindow& window);

// Alt with a printable key that no mnemonic or shortcut took is dropped
// before it reaches a text field: the user meant a command, not a letter.
// (AltGr, which types letters on many keyboards, is no Alt.) Installed
// once for the whole program, whichever window asks first.
void keep_mnemonics_out_of_fields();

}  // namespace quillon
