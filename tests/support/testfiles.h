#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace sondrel::test {

// The bytes of a file; "<missing>" when it cannot be read, so that a missing file never
// passes for an empty one.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace sondrel::test
