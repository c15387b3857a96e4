#include "ui/look.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QPointer>
#include <QSvgRenderer>
#include <QWidget>

// Resources of a static library are registered explicitly, outside any namespace.
static void registerVelmoraResources() { Q_INIT_RESOURCE(velmora); }

namespace velmora::ui {

namespace {

// The parsed picture of an SVG resource, parsed on its first use and kept for the run: the
// application object owns it. Null when the resource is missing or not a picture.
QSvgRenderer* parsedSvg(const QString& resource) {
    static const bool registered = (registerVelmoraResources(), true);
    (void)registered;
    static QHash<QString, QPointer<QSvgRenderer>> parsed;
    // An unknown name is no picture, and not worth the toolkit's warning about a missing file.
    if (!QFile::exists(resource)) return nullptr;
    QPointer<QSvgRenderer>& renderer = parsed[resource];
    if (!renderer) renderer = new QSvgRenderer(resource, QCoreApplication::instance());
    return renderer->isValid() ? renderer.data() : nullptr;
}

// The picture of `resource` at `size` x `size` pixels, drawn once per size and then taken from
// the toolkit's pixmap cache.
QPixmap renderSvg(const QString& resource, int size) {
    const QString key = QStringLiteral("velmora:%1@%2").arg(resource).arg(size);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    QSvgRenderer* renderer = parsedSvg(resource);
    if (!renderer) return {};
    pixmap = QPixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer->render(&painter);
    painter.end();
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

}  // namespace

QFont lookFont(int pointSize, bool bold) {
    QFont font(QStringLiteral("Verdana"), pointSize, bold ? QFont::Bold : QFont::Normal);
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void applyLook(QWidget& window, const QString& moreStyle) {
    QPalette palette = window.palette();
    const QColor background(kBackgroundColour);
    const QColor text(kTextColour);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Text, text);
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.setFont(lookFont());
    window.setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid transparent;"
                       " border-radius: 2px; padding: 2px 4px; }"
                       "QPushButton:hover { background: #ECE9D2; border-color: #C9C4A3; }"
                       "QPushButton:focus { border-color: #C9C4A3; }")
            .arg(QLatin1String(kBackgroundColour), QLatin1String(kTextColour)) +
        moreStyle);
}

QIcon lookIcon(const QString& name) {
    const QString resource = QStringLiteral(":/icons/%1.svg").arg(name);
    QIcon icon;
    for (const int size : {16, 32}) {
        const QPixmap pixmap = renderSvg(resource, size);
        if (pixmap.isNull()) return {};
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap logoPixmap(int size) { return renderSvg(QStringLiteral(":/logo.svg"), size); }

}  // namespace velmora::ui
