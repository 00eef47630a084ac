#include "platform/imagegadget.h"

#include <QImage>
#include <QPixmap>

#include "platform/gadgets.h"
#include "platform/image.h"

namespace marquetor::platform {

namespace detail {

ImageWidget::ImageWidget(QWidget* parent, bool sunkenBorder) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    if (sunkenBorder) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(1);
    }
}

void ImageWidget::showImage(const Image* image) {
    if (image == nullptr || image->empty()) {
        clear();
        m_hasImage = false;
        return;
    }
    const imagecodec::RgbaImage& p = image->pixels();
    const QImage view(p.pixels.data(), p.width, p.height, static_cast<qsizetype>(p.width) * 4,
                      QImage::Format_RGBA8888);
    setPixmap(QPixmap::fromImage(view.copy()));   // a copy: the image may change later
    m_hasImage = true;
}

}  // namespace detail

// ---- The facade ----

void ImageGadget::setImage(const Image* image) { static_cast<detail::ImageWidget*>(widget())->showImage(image); }
bool ImageGadget::hasImage() const { return static_cast<detail::ImageWidget*>(widget())->hasImage(); }

}  // namespace marquetor::platform
