#pragma once
// The image gadget (internal to the platform library): shows a copy of an image, or
// nothing.

#include <QLabel>

namespace marquetor::platform {
class Image;
}

namespace marquetor::platform::detail {

class ImageWidget final : public QLabel {
public:
    ImageWidget(QWidget* parent, bool sunkenBorder);
    void showImage(const Image* image);
    bool hasImage() const { return m_hasImage; }

private:
    bool m_hasImage = false;
};

}  // namespace marquetor::platform::detail
