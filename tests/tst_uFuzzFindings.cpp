// Every input the fuzzers ever found (tests/crashers/<target>/), and every
// seed they start from (fuzz/corpus/<target>/), fed again the way the fuzz
// targets feed them: each must end in a clean load or a clean refusal. The
// sanitizer build of this test also catches what crashed or leaked.
#include "fuzz/uFuzzFeeds.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(FuzzFindings, EveryKeptInputEndsCleanly)
{
    int fed = 0;
    for (const FuzzTarget &target : FuzzTargets()) {
        for (const char *kept : {"tests/crashers", "fuzz/corpus"}) {
            const QDir folder(QStringLiteral(RELIEVA_SOURCE_DIR "/%1/%2")
                                  .arg(QLatin1String(kept), QLatin1String(target.name)));
            for (const QString &name : folder.entryList(QDir::Files)) {
                QFile file(folder.filePath(name));
                ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
                const QByteArray bytes = file.readAll();
                SCOPED_TRACE(file.fileName().toStdString());
                EXPECT_NO_THROW(target.feed(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                            size_t(bytes.size())));
                ++fed;
            }
        }
    }
    EXPECT_GT(fed, 0) << "no seeds found";
}
