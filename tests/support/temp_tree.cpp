#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <ftw.h>
#include <stdexcept>
#include <unistd.h>

namespace {

// Removed by bytes: names that are not UTF-8 do not survive a round trip
// through QString.
void removeTree(const QByteArray& path) {
    ::nftw(
        path.constData(),
        [](const char* p, const struct stat*, int, FTW*) { return ::remove(p) * 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
}

} // namespace

TempTree::TempTree(const QString& parent)
    : m_dir(parent.isEmpty() ? QTemporaryDir() : QTemporaryDir(parent + "/Duoscope-XXXXXX")) {
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    // Files deleted or replaced in another file system than the tests' own
    // Trash go to a Trash at its top, taken for the parent here.
    const QByteArray trash =
        QFile::encodeName(parent) + "/.Trash-" + QByteArray::number(::getuid());
    if (!parent.isEmpty() && ::access(trash.constData(), F_OK) != 0)
        m_trashMade = trash;
}

TempTree::~TempTree() {
    removeTree(QFile::encodeName(path()));
    if (!m_trashMade.isEmpty())
        removeTree(m_trashMade);
}

void TempTree::write(const QString& name, const QByteArray& content, const QDateTime& modified) {
    const QString full = filePath(name);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size() ||
        !f.flush() ||
        (modified.isValid() && !f.setFileTime(modified, QFileDevice::FileModificationTime)))
        throw std::runtime_error("cannot write " + full.toStdString());
}

void TempTree::writeRaw(const QByteArray& name, const QByteArray& content) {
    QFile f; // the bytes reach the file system as they are
    FILE* file = std::fopen((QFile::encodeName(path()) + '/' + name).constData(), "wb");
    if (!file || !f.open(file, QIODevice::WriteOnly, QFile::AutoCloseHandle) ||
        f.write(content) != content.size())
        throw std::runtime_error("cannot write a raw-named file");
}

FileLocation TempTree::at(const QByteArray& name) const {
    const qsizetype slash = name.lastIndexOf('/');
    return {QFile::encodeName(path()) + '/' + name.left(slash + 1), name.mid(slash + 1)};
}

void TempTree::mkdir(const QString& name) {
    QDir().mkpath(filePath(name));
}

QByteArray TempTree::read(const QString& name) const {
    QFile f(filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArrayList TempTree::trashed() const {
    const QString trash = QFile::decodeName(qgetenv("XDG_DATA_HOME") + "/Trash/");
    const QByteArray from = "\nPath=" + (QFile::encodeName(path()) + '/').toPercentEncoding("/");
    QByteArrayList out;
    for (const QFileInfo& entry : QDir(trash + QStringLiteral("info")).entryInfoList(QDir::Files)) {
        QFile text(entry.filePath()),
            file(trash + QStringLiteral("files/") + entry.completeBaseName());
        if (text.open(QIODevice::ReadOnly) && text.readAll().contains(from))
            out << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>"));
    }
    return out;
}
