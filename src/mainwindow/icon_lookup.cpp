#include "mainwindow/icon_lookup.h"

#include "base/name_text.h"
#include "fs/scratch_file.h"
#include "mainwindow/bitmap_file.h"
#include "mainwindow/icon_theme.h"
#include "mainwindow/image_list.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <QtMath>
#include <cerrno>

namespace {

constexpr int iconSize = 16;
// Bounds the memory of the name-to-type memory in very long sessions.
constexpr qsizetype maxRememberedNames = 200000;

QIcon iconOf(const QMimeType& type) {
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(type.name() == QLatin1String("inode/directory")
                                                       ? QStyle::SP_DirIcon
                                                       : QStyle::SP_FileIcon);
    return icon;
}

} // namespace

IconLookup::IconLookup(qreal devicePixelRatio) : m_dpr(devicePixelRatio) {
    ensureIconTheme();
}

void IconLookup::beginRefresh() {
    m_found.clear();
    m_loaded.clear();
    m_scratch.close();
}

QString IconLookup::findType(const QString& name) {
    auto known = m_typeOfName.constFind(name);
    if (known != m_typeOfName.constEnd())
        return *known;
    if (m_typeOfName.size() >= maxRememberedNames)
        m_typeOfName.clear();
    const QString type = m_mimeDb.mimeTypeForFile(name, QMimeDatabase::MatchExtension).name();
    m_typeOfName.insert(name, type);
    return type;
}

void IconLookup::draw(const QString& typeName) {
    auto it = m_drawn.find(typeName);
    if (it == m_drawn.end()) {
        const QMimeType type = m_mimeDb.mimeTypeForName(typeName);
        const int pixels = qCeil(iconSize * m_dpr);
        QImage box(pixels, pixels, QImage::Format_ARGB32);
        box.setDevicePixelRatio(m_dpr);
        box.fill(Qt::transparent); // cleared to no background at all
        QPainter painter(&box);
        iconOf(type).paint(&painter, QRect(0, 0, iconSize, iconSize));
        painter.end();
        it = m_drawn.insert(typeName, {type.comment(), box, encodeBitmap(box)});
    }
    m_drawnDescription = it->description;
    m_picIcon = it->image;
    m_picBitmap = it->bitmap;
}

IconLookup::Found IconLookup::lookup(const QString& name, ImageList& images) {
    return byType(findType(name), images);
}

IconLookup::Found IconLookup::generic(ImageList& images) {
    return byType(QStringLiteral("application/octet-stream"), images);
}

IconLookup::Found IconLookup::folder(ImageList& images) {
    Found found = byType(QStringLiteral("inode/directory"), images);
    found.type = QStringLiteral("Folder");
    return found;
}

IconLookup::Found IconLookup::byType(const QString& typeName, ImageList& images) {
    if (auto it = m_found.constFind(typeName); it != m_found.constEnd())
        return *it;
    // The round trip through the scratch file, as for every icon: what comes
    // back is what the list shows.
    draw(typeName);
    if (FsResult written = m_scratch.write(m_picBitmap); !written)
        throw written.error();
    const QByteArray bitmap = m_scratch.read();
    int position = m_loaded.value(bitmap);
    if (position == 0) {
        QImage picture = decodeBitmap(bitmap);
        if (picture.isNull())
            throw FsError(EINVAL, nameText(m_scratch.path()),
                          QStringLiteral("not a bitmap picture"));
        picture.setDevicePixelRatio(m_dpr);
        position = images.add(picture);
        m_loaded.insert(bitmap, position);
    }
    return *m_found.insert(typeName, {m_drawnDescription, position});
}
