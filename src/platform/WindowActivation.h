// SPDX-License-Identifier: MIT
#pragma once

class QWindow;

// Brings a top-level window to the front and gives it the focus, also when the request comes
// from a global hot key or a second start, where the window manager's focus-stealing guard
// would otherwise keep the window behind the program the user is in.
void BringWindowToFront(QWindow* Window);

// Whether a mouse button is held down anywhere on the screen (during a window manager's
// interactive move, which grabs the pointer, the program itself sees no button). False where
// the display server cannot tell.
bool AnyPointerButtonDown();
