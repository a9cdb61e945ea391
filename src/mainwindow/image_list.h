#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

// The image list both panes take their small icons from: images appended
// without key and found by 1-based position.
class ImageList {
public:
    // Appends the image; returns the number of images, its position.
    int add(const QImage& image);
    int count() const { return int(m_images.size()); }
    // The image at a 1-based position; a null image outside the list.
    QImage image(int position) const;
    // The same as an icon made once: a pane that repaints as rows come in
    // would otherwise make a new one, and fill the pixmap cache, each paint.
    QIcon icon(int position) const;
    // Drops every image, for when no row points at any of them any more.
    void clear();

private:
    QList<QImage> m_images;
    QList<QIcon> m_icons;
};
