// Writes every target's seeds as files: vezive-fuzz-seeds DIRECTORY makes DIRECTORY/<target>/.

#include "seeds.h"

#include <cstdio>
#include <QDir>
#include <QFile>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const QDir top(QString::fromLocal8Bit(argv[1]));
    for (const QString& target : fuzzTargets()) {
        if (!top.mkpath(target)) {
            std::fprintf(stderr, "cannot make %s\n", qPrintable(top.filePath(target)));
            return 1;
        }
        const QList<QByteArray> seeds = fuzzSeeds(target);
        for (int i = 0; i < seeds.size(); ++i) {
            QFile file(top.filePath(
                QStringLiteral("%1/seed-%2").arg(target).arg(i, 3, 10, QLatin1Char('0'))));
            if (!file.open(QIODevice::WriteOnly) || file.write(seeds[i]) != seeds[i].size()) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(file.fileName()),
                             qPrintable(file.errorString()));
                return 1;
            }
        }
        std::printf("%s: %d seeds\n", qPrintable(target), int(seeds.size()));
    }
    return 0;
}
