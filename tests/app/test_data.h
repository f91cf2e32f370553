#pragma once

// Helpers of the application tests that need no window: the rows of a data-driven test, a picture, a message read
// from bytes, a file written.

#include <array>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QtTest>

#include "pelmsg.h"

namespace quorra_test {

// Adds a column of each type T, named as `columns` say, and a row per entry: its name, then a value a column.
template <class... T>
void AddRows(
    const std::array<const char*, sizeof...(T)>& columns, std::initializer_list<std::tuple<const char*, T...>> rows)
{
    [&]<std::size_t... I>(std::index_sequence<I...>) { (QTest::addColumn<T>(columns[I]), ...); }
    (std::index_sequence_for<T...> {});
    for (const auto& row : rows)
        std::apply([](const char* name, const T&... values) { (QTest::newRow(name) << ... << values); }, row);
}

// A PNG picture of the size in one colour.
inline std::string Png(int width, int height, Qt::GlobalColor colour = Qt::red)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// The message of TNEF bytes (a TnefBuilder's).
inline std::unique_ptr<pelmsg::TPelMessage> LoadTnef(const std::string& bytes)
{
    auto message = std::make_unique<pelmsg::TPelTNEFFile>();
    pelmsg::TSpanStream stream(bytes);
    message->LoadFromStream(stream);
    return message;
}

// Writes the bytes as the file (replacing it); false when it cannot be written.
inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The files of folders of the shared corpus ("tnef", "msg"), sorted; none without the corpus.
inline QStringList CorpusFiles(std::initializer_list<const char*> folders)
{
    QStringList files;
    for (const char* folder : folders) {
        QDirIterator it(QStringLiteral(TESSALY_CORPUS_DIR "/") + QLatin1String(folder), QDir::Files);
        while (it.hasNext())
            files << it.next();
    }
    files.sort();
    return files;
}

} // namespace quorra_test
