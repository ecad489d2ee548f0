#pragma once

class QWindow;

// Brings a top-level window to the front and gives it the focus, also when the request comes
// from a global hot key or a second start, where the window manager's focus-stealing guard
// would otherwise keep the window behind the program the user is in.
void BringWindowToFront(QWindow* Window);
