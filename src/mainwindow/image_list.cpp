#include "mainwindow/image_list.h"

int ImageList::add(const QImage& image) {
    m_images.append(image);
    m_icons.append(QIcon(QPixmap::fromImage(image)));
    return count();
}

QImage ImageList::image(int position) const {
    return position >= 1 && position <= count() ? m_images[position - 1] : QImage();
}

QIcon ImageList::icon(int position) const {
    return position >= 1 && position <= count() ? m_icons[position - 1] : QIcon();
}

void ImageList::clear() {
    m_images = {}; // gives the storage back, not only the elements
    m_icons = {};
}
