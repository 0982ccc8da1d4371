#pragma once

#include <QIcon>
#include <QString>

// Where the program's pictures are and the window's icon made of them.
namespace console {

// `configured` when it is set; else the "icons" folder beside the executable (the build tree, a
// portable copy), which wins over the installed data folder, <prefix>/share/brellis/icons for
// <prefix>/bin/brellis.
QString iconsFolder(const QString &configured = QString());

// The application icon in the sizes the desktop entry's icon comes in, from `folder`; a missing
// size is left out, and with none the icon is null (the platform's default).
QIcon applicationIcon(const QString &folder);

} // namespace console
