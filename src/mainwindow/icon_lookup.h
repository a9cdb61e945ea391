#pragma once

#include "fs/scratch_file.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QMimeDatabase>
#include <QString>

class ImageList;

// A file row's type name and small icon, found from the file's name through
// the MIME database and the desktop's icon theme. The icon goes to the image
// list through the icon scratch file as a bitmap, once per type and refresh:
// drawn at 16 x 16, saved to the scratch file, read back as a picture and
// appended to the list, where every later file of the type (and of any type
// with the same picture) finds it.
class IconLookup {
public:
    // `devicePixelRatio`: the icon is drawn with this many pixels per logical
    // pixel, so it stays sharp on dense screens.
    explicit IconLookup(qreal devicePixelRatio = 1.0);

    void setScratchPath(const QByteArray& path) { m_scratch.setPath(path); }
    const QByteArray& scratchPath() const { return m_scratch.path(); }

    // A refresh starts with an empty image list: no type has an image yet,
    // and the scratch file is found afresh.
    void beginRefresh();

    // Lets go of the scratch file, so it can be removed.
    void releaseScratchFile() { m_scratch.close(); }

    struct Found {
        QString type; // the type's name in words
        int icon = 0; // the 1-based position of its picture in the image list
    };
    // The type and image of the file shown as `name`. Throws FsError when
    // the scratch file cannot be written, or read back as a bitmap.
    Found lookup(const QString& name, ImageList& images);
    // The generic file type and icon.
    Found generic(ImageList& images);
    // A folder row's: the theme's folder icon, the type "Folder".
    Found folder(ImageList& images);

private:
    struct Drawn {
        QString description;
        QImage image;
        QByteArray bitmap;
    };
    Found byType(const QString& typeName, ImageList& images);
    // The content type's name, found from the file's name.
    QString findType(const QString& name);
    // Draws the type's icon into the drawing box.
    void draw(const QString& typeName);

    QMimeDatabase m_mimeDb;
    qreal m_dpr;
    ScratchFile m_scratch;
    QImage m_picIcon; // the drawing box: the last icon drawn
    QByteArray m_picBitmap;
    QString m_drawnDescription;
    // Per content type: drawing is the costly part and is the same for every
    // file of one type.
    QHash<QString, Drawn> m_drawn;
    // Per file name: every command ends with a refresh of the same folders,
    // and matching a name against the type patterns is the costly step.
    QHash<QString, QString> m_typeOfName;
    // This refresh's: per type, and per picture read back (equal pictures
    // share one image).
    QHash<QString, Found> m_found;
    QHash<QByteArray, int> m_loaded;
};
