#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

TempTree::TempTree() {
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString TempTree::filePath(const QString& name) const {
    return m_dir.filePath(name);
}

void TempTree::write(const QString& name, const QByteArray& content) {
    const QString full = filePath(name);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        throw std::runtime_error("cannot write " + full.toStdString());
}

void TempTree::write(const QString& name, const QByteArray& content, const QDateTime& modified) {
    write(name, content);
    setModified(name, modified);
}

void TempTree::writeRaw(const QByteArray& name, const QByteArray& content) {
    const QByteArray full = QFile::encodeName(path()) + '/' + name;
    FILE* f = std::fopen(full.constData(), "wb");
    if (!f)
        throw std::runtime_error("cannot write a raw-named file");
    std::fwrite(content.constData(), 1, static_cast<size_t>(content.size()), f);
    std::fclose(f);
}

void TempTree::mkdir(const QString& name) {
    QDir().mkpath(filePath(name));
}

void TempTree::setModified(const QString& name, const QDateTime& modified) {
    QFile f(filePath(name));
    if (!f.open(QIODevice::ReadWrite) ||
        !f.setFileTime(modified, QFileDevice::FileModificationTime))
        throw std::runtime_error("cannot set the time of " + name.toStdString());
}

QByteArray TempTree::read(const QString& name) const {
    QFile f(filePath(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
