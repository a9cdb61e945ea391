#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Starts a program with these arguments, the first naming it (looked up in
// PATH when it holds no "/"), without a shell and without waiting: each
// argument reaches it as the same bytes. The program runs in a session of its
// own and is reaped when it ends. Returns "" on success, else the reason.
QString startDetached(const QList<QByteArray>& arguments);
