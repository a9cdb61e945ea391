#pragma once

#include "core/scratch_file.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QMimeDatabase>
#include <QString>

// A file row's type name and small icon, found from the file's name through
// the MIME database and the desktop's icon theme, and passed to the image
// list through the icon scratch file as a bitmap:
//
//   lookup()  finds the type, draws its icon at 16 x 16 into the drawing box
//             and saves the box to the scratch file (before the row exists);
//   load()    reads the scratch file back as a picture (after the row exists).
//
// A failed lookup changes nothing: the type text and the scratch file keep
// the last successful lookup's, so the row shows that file's type and icon;
// before any icon of this run is in the scratch file, it gives the generic
// file type and icon instead.
class IconLookup {
public:
    // `devicePixelRatio`: the icon is drawn with this many pixels per logical
    // pixel, so it stays sharp on dense screens.
    explicit IconLookup(qreal devicePixelRatio = 1.0);

    void setScratchPath(const QByteArray& path) {
        m_scratch.setPath(path);
        m_saved = false;
    }
    const QByteArray& scratchPath() const { return m_scratch.path(); }

    // A refresh starts with an empty type text, forgets decoded pictures and
    // finds the scratch file afresh.
    void beginRefresh();

    // Lets go of the scratch file, so it can be removed.
    void releaseScratchFile() { m_scratch.close(); }

    // Looks up the file shown as `name`; `reachable` says whether the file is
    // there to look up (the caller has just read its length and time). False
    // when it is not: nothing changes, unless no icon of this run is in the
    // scratch file yet (then the generic file type and icon). Throws FsError
    // when the scratch file cannot be written.
    bool lookup(const QString& name, bool reachable);
    // The type name of the last successful lookup of this refresh.
    const QString& typeText() const { return m_typeText; }
    // The scratch file as a picture; throws FsError when it is missing or
    // is not a bitmap.
    QImage load();

    // The steps of lookup(), public so their cost can be measured one by one.
    // The content type's name, found from the file's name.
    QString findType(const QString& name);
    void draw(const QString& typeName);
    void save();
    // The drawing box: the last icon drawn.
    const QImage& picIcon() const { return m_picIcon; }

private:
    struct Drawn {
        QString description;
        QImage image;
        QByteArray bitmap;
    };

    QMimeDatabase m_mimeDb;
    qreal m_dpr;
    ScratchFile m_scratch;
    QString m_typeText;
    bool m_saved = false; // the scratch file holds an icon of this run
    QImage m_picIcon;
    QByteArray m_picBitmap;
    // Per content type: drawing is the costly part and is the same for every
    // file of one type.
    QHash<QString, Drawn> m_drawn;
    QString m_drawnDescription;
    // Per file name: every command ends with a refresh of the same folders,
    // and matching a name against the type patterns is the costly step.
    QHash<QString, QString> m_typeOfName;
    // Per bitmap read back: equal files give one shared picture.
    QHash<QByteArray, QImage> m_loaded;
};
