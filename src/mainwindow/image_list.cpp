#include "mainwindow/image_list.h"

int ImageList::add(const QImage& image) {
    m_images.append(image);
    return count();
}

QImage ImageList::image(int position) const {
    return position >= 1 && position <= count() ? m_images[position - 1] : QImage();
}

void ImageList::clear() {
    m_images = {}; // gives the storage back, not only the elements
}
