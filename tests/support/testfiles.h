#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QString>

// The whole file, or an empty array when it cannot be read.
QByteArray fileContents(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

#endif
