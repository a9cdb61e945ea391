#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QList>

// The program's own icon, at every size it is drawn in.
QIcon programIcon();

// Its images, one per size, decoded: safe on any thread, so that the
// decoding can be done away from the one that draws the first window.
QList<QImage> programIconImages();

// The icon made of those images, on the thread that draws.
QIcon programIcon(const QList<QImage>& images);

// The icon's scalable drawing, as the desktop's icon themes take it.
QByteArray programIconSvg();
