#include "fuzzenvironment.h"

#include "fuzzcheck.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace {

// Removed at a normal exit; a sanitizer's abort leaves it for scripts/fuzz to clear with its
// parent.
std::unique_ptr<QTemporaryDir> directory;

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    // The acquisition thread's trace lines would flood the fuzzer's log at every input.
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "qt: %s\n", text.toLocal8Bit().constData());
}

QString baseDirectory()
{
    const QString chosen = qEnvironmentVariable("VEZIVE_FUZZ_TMP");
    if (!chosen.isEmpty())
        return chosen;
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    if (shm.isDir() && shm.isWritable())
        return shm.filePath();
    return QDir::tempPath();
}

} // namespace

namespace FuzzEnvironment {

void setUp()
{
    if (directory)
        return;
    setenv("TZ", "UTC", 1);
    tzset();
    qInstallMessageHandler(quietHandler);
    directory =
        std::make_unique<QTemporaryDir>(baseDirectory() + QStringLiteral("/vezive-fuzz-XXXXXX"));
    FUZZ_REQUIRE(directory->isValid(), directory->errorString());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, directory->path());
}

QString path(const QString& name)
{
    return directory->filePath(name);
}

void tearDown()
{
    directory.reset();
}

} // namespace FuzzEnvironment
