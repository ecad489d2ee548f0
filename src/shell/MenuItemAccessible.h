#pragma once

// Menu items show their caption and, after a Tab, their shortcut text (the shortcut is only
// shown; keys reach the actions through the window). Screen readers would announce both as
// the name, "New task\tIns": this makes the caption the name and the shortcut text the
// accelerator. Called once, before the menus are shown; repeated calls do nothing.
void InstallMenuItemAccessibility();
