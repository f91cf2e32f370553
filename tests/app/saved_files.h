#pragma once

// Helpers of the tests that look at the files a save wrote: their bytes, their hashes, the files under a folder,
// and the comparison with the attachments the tnef tool extracted from the shared corpus (its oracle files).

#include <functional>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

namespace quorra_test {

inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray Sha256(const QString& path)
{
    return QCryptographicHash::hash(ReadAll(path), QCryptographicHash::Sha256).toHex();
}

// The files below the folder, as paths relative to it, sorted.
inline QStringList FilesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// For every TNEF file of the corpus the tool read to the end and took attachments from, save(file, folder) writes
// the file's attachments into folder (below work, made beforehand); every attachment the tool extracted must then
// be there with its bytes. Fails the running test otherwise; skips it without the corpus.
inline void CompareAttachmentsWithTnefTool(
    const QString& work, const std::function<void(const QString& file, const QString& folder)>& save)
{
    const QString corpus = QStringLiteral(TESSALY_CORPUS_DIR);
    if (!QDir(corpus + "/tnef").exists())
        QSKIP("corpus not found");
    // Files the tool does not read to the end (bad checksums, an assertion): the library's corpus test covers
    // what we read of them.
    const QStringList toolStops = { "ktnef__mapi_attach_data_obj.tnef", "node-tnef__panic.dat" };
    int compared = 0, files = 0;
    for (const QString& name : QDir(corpus + "/tnef").entryList(QDir::Files)) {
        QFile oracleFile(corpus + "/oracle/" + name + ".json");
        if (toolStops.contains(name) || !oracleFile.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject extract = QJsonDocument::fromJson(oracleFile.readAll()).object()["tnef_extract"].toObject();
        QList<QJsonObject> expected;
        for (const QJsonValue& f : extract["files"].toArray())
            if (!f.toObject()["name"].toString().startsWith("message."))
                expected << f.toObject();
        if (extract["rc"].toInt() != 0 || expected.isEmpty())
            continue;
        const QString folder = work + "/" + name;
        QVERIFY(QDir().mkpath(folder));
        save(corpus + "/tnef/" + name, folder);
        if (QTest::currentTestFailed())
            return;
        const QStringList written = FilesUnder(folder);
        QSet<QByteArray> hashes;
        for (const QString& file : written)
            hashes.insert(Sha256(folder + "/" + file));
        for (const QJsonObject& x : expected) {
            ++files;
            if (hashes.contains(x["sha256"].toString().toLatin1()))
                continue;
            // The tool writes an attached message or OLE object as its data behind a 16-byte interface id; we
            // write an object as its data (a compound file) and an attached message as a .msg file of its own.
            bool found = false;
            for (const QString& file : written) {
                QFile f(folder + "/" + file);
                if (!f.open(QIODevice::ReadOnly) || f.read(8) != QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
                    continue;
                found = found || file.endsWith(".msg") || f.size() + 16 == x["size"].toInteger();
            }
            QVERIFY2(found, qPrintable(name + ": no file with the bytes of " + x["name"].toString()));
        }
        ++compared;
    }
    QVERIFY(compared >= 20);
    QVERIFY(files >= 40);
}

} // namespace quorra_test
