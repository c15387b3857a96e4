#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>
#include <optional>

namespace velmora::test {

// On which side of its text a button draws its picture.
enum class PictureSide { Left, Right };

// Draws `button` offscreen with a plain red picture in place of its own and compares where the
// red pixels begin with where the dark text pixels begin; nothing when either is missing. The
// button gets its own picture back.
inline std::optional<PictureSide> pictureSide(QPushButton& button) {
    const QIcon own = button.icon();
    QPixmap red(button.iconSize());
    red.fill(Qt::red);
    button.setIcon(QIcon(red));
    const QImage image = button.grab().toImage();
    button.setIcon(own);
    int pictureLeft = image.width(), textLeft = image.width();
    for (int x = 0; x < image.width(); ++x) {
        // The top and bottom rows hold the border only.
        for (int y = 2; y < image.height() - 2; ++y) {
            const QColor colour = image.pixelColor(x, y);
            if (colour == QColor(Qt::red)) pictureLeft = std::min(pictureLeft, x);
            if (colour.lightness() < 100 && colour.red() < 200) textLeft = std::min(textLeft, x);
        }
    }
    if (pictureLeft == image.width() || textLeft == image.width()) return std::nullopt;
    return pictureLeft < textLeft ? PictureSide::Left : PictureSide::Right;
}

}  // namespace velmora::test
