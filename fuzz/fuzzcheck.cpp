#include "fuzzcheck.h"

#include "fuzzenvironment.h"

#include <cstdio>
#include <cstdlib>
#include <QByteArray>

void fuzzFailure(const char* condition, const QString& detail, const char* file, int line)
{
    std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n  %s\n", file, line, condition,
                 detail.toLocal8Bit().constData());
    std::fflush(stderr);
    FuzzEnvironment::tearDown();
    std::abort();
}

QString hexSample(const QByteArray& bytes)
{
    constexpr int Shown = 48;
    QString text = QString::fromLatin1(bytes.left(Shown).toHex(' '));
    if (bytes.size() > Shown)
        text += QStringLiteral(" ... (%1 bytes)").arg(bytes.size());
    return text;
}
