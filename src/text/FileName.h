#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes. A name component that is valid UTF-8 is held as its
// characters; one that is not (a GBK name from a Windows archive) keeps each
// byte above 0x7F as U+F700 + byte, the codec's raw-byte convention, so that
// pathBytes(pathFromBytes(b)) == b for any name. Every system call on a
// document takes pathBytes() of such a string.
QString pathFromBytes(const QByteArray& bytes);
QByteArray pathBytes(const QString& path);

// How a name or path is shown: a component that is not UTF-8 is decoded as GBK.
QString displayName(const QString& path);
