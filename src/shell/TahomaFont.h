// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>

// Tahoma at a character height in pixels, the face the window and its dialogs are drawn in.
// Where fontconfig knows no Tahoma, Wine's metric-compatible one (Debian's fonts-wine) is
// loaded as an application font on first use; without either, Qt substitutes a face, which
// may be wider, so controls size themselves to their text.
QFont TahomaFont(int PixelSize);
