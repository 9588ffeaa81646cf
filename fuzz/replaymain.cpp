// Runs one fuzz target's entry point, outside libFuzzer, over its generated seeds and over every
// file in the folders (or the files) named on the command line: the kept findings replayed as a
// regression test. A broken expectation aborts, which fails the test.

#include "seeds.h"

#include <cstdint>
#include <cstdio>
#include <QDir>
#include <QFile>
#include <QFileInfo>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void runOne(const QByteArray& input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()),
                           size_t(input.size()));
}

} // namespace

int main(int argc, char* argv[])
{
    LLVMFuzzerInitialize(&argc, &argv);
    const QString target = QStringLiteral(VEZIVE_FUZZ_TARGET);
    int seeds = 0;
    for (const QByteArray& seed : fuzzSeeds(target)) {
        runOne(seed);
        ++seeds;
    }
    int kept = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo where(QString::fromLocal8Bit(argv[i]));
        QStringList files;
        if (where.isDir()) {
            const QDir dir(where.filePath());
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
                files.append(dir.filePath(name));
        } else {
            files.append(where.filePath());
        }
        for (const QString& path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(file.errorString()));
                return 1;
            }
            std::printf("%s\n", qPrintable(path));
            std::fflush(stdout);
            runOne(file.readAll());
            ++kept;
        }
    }
    std::printf("%s: %d seeds and %d kept inputs replayed, no fault\n", qPrintable(target), seeds,
                kept);
    return 0;
}
