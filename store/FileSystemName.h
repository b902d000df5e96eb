// File names as the file system holds them: bytes, not text.
//
// On Linux a file name is any sequence of bytes; most are UTF-8, some are not
// (a file copied from an old Latin-1 system). A name travels through the
// program as a QString and must come back as exactly the bytes it was given,
// so that the file named is the file used: valid UTF-8 decodes as UTF-8 (as
// QFile::decodeName does), and every byte that is not part of valid UTF-8
// becomes a lone surrogate U+DC80 + byte, which fileSystemBytes() turns back
// into that byte. Such a character is no text: a name or word that holds one
// is refused wherever text is needed.
#pragma once

#include <QByteArray>
#include <QString>

QString fromFileSystemBytes(const QByteArray& bytes);

// The bytes of `name` for the file system: UTF-8 (as QFile::encodeName
// gives), with each U+DC80..U+DCFF that fromFileSystemBytes() made turned
// back into its byte.
QByteArray fileSystemBytes(const QString& name);
