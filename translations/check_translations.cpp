// check_translations FILE.ts: lists the catalogue's faults on standard
// error; status 1 when it has any, 2 when it cannot be read.
#include "TranslationCheck.h"

#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: check_translations FILE.ts\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(file.errorString()));
        return 2;
    }
    const QStringList faults = quillon::translation_faults(QString::fromUtf8(file.readAll()));
    for (const QString& fault : faults) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(fault));
    }
    return faults.isEmpty() ? 0 : 1;
}
