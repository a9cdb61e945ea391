#pragma once

#include <QByteArray>
#include <QIcon>

// The program's own icon, at every size it is drawn in.
QIcon programIcon();

// The icon's scalable drawing, as the desktop's icon themes take it.
QByteArray programIconSvg();
