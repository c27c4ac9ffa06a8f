#pragma once

// Files the tests write and read whole.

#include <QFile>

#include <gtest/gtest.h>

namespace jackwell::testing {

// Writes `bytes` to `path`, replacing what was there; a file that cannot be written fails the test.
inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        << path.toStdString();
    return path;
}

// What the file holds; `unreadable` when it cannot be read.
inline QByteArray fileBytes(const QString& path, const QByteArray& unreadable = {}) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : unreadable;
}

} // namespace jackwell::testing
