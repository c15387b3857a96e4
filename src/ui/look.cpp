#include "ui/look.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#ifdef VELMORA_PNG_PICTURES
#include <QDir>
#else
#include <QSvgRenderer>
#endif
#include <QWidget>

#include <algorithm>
#include <utility>

// Resources of a static library are registered explicitly, outside any namespace.
static void registerVelmoraResources() { Q_INIT_RESOURCE(velmora); }

namespace velmora::ui {

namespace {

void registerResources() {
    static const bool registered = (registerVelmoraResources(), true);
    (void)registered;
}

#ifdef VELMORA_PNG_PICTURES

// This build carries each picture as PNG images the build rendered from its SVG file at the sizes
// the windows use (":/icons/ok@16.png", ":/logo@81.png"): the sizes of `name`, smallest first.
const QList<int>& renderedSizes(const QString& name) {
    registerResources();
    static QHash<QString, QList<int>> sizes;
    auto found = sizes.find(name);
    if (found != sizes.end()) return *found;
    QList<int> list;
    const QString base = name.section(QLatin1Char('/'), -1);
    const QString folder = QStringLiteral(":/") + name.section(QLatin1Char('/'), 0, -2);
    for (const QString& file : QDir(folder).entryList({base + QStringLiteral("@*.png")})) {
        bool ok = false;
        const int size = file.mid(base.size() + 1).chopped(4).toInt(&ok);
        if (ok && size > 0) list.append(size);
    }
    std::sort(list.begin(), list.end());
    return *sizes.insert(name, list);
}

bool pictureExists(const QString& name) { return !renderedSizes(name).isEmpty(); }

// The picture `name` at `size` x `size` pixels: the image rendered at that size, or the nearest
// larger one (the largest when none is larger) scaled smoothly.
QPixmap drawPicture(const QString& name, int size) {
    const QList<int>& sizes = renderedSizes(name);
    if (sizes.isEmpty()) return {};
    const auto larger = std::lower_bound(sizes.begin(), sizes.end(), size);
    const int source = larger == sizes.end() ? sizes.back() : *larger;
    QPixmap pixmap(QStringLiteral(":/%1@%2.png").arg(name).arg(source));
    if (source != size && !pixmap.isNull()) {
        pixmap = pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return pixmap;
}

#else

// The parsed picture of the SVG resource of `name` ("logo", "icons/ok"), parsed on its first use
// and kept for the run: the application object owns it. Null when the resource is missing or not
// a picture.
QSvgRenderer* parsedSvg(const QString& name) {
    registerResources();
    static QHash<QString, QPointer<QSvgRenderer>> parsed;
    const QString resource = QStringLiteral(":/%1.svg").arg(name);
    if (!QFile::exists(resource)) return nullptr;
    QPointer<QSvgRenderer>& renderer = parsed[resource];
    if (!renderer) renderer = new QSvgRenderer(resource, QCoreApplication::instance());
    return renderer->isValid() ? renderer.data() : nullptr;
}

bool pictureExists(const QString& name) {
    registerResources();
    return QFile::exists(QStringLiteral(":/%1.svg").arg(name));
}

QPixmap drawPicture(const QString& name, int size) {
    QSvgRenderer* renderer = parsedSvg(name);
    if (!renderer) return {};
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer->render(&painter);
    painter.end();
    return pixmap;
}

#endif

// The picture `name` at `size` x `size` pixels, drawn once per size and then taken from the
// toolkit's pixmap cache.
QPixmap renderPicture(const QString& name, int size) {
    const QString key = QStringLiteral("velmora:%1@%2").arg(name).arg(size);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    if (size <= 0) return {};
    pixmap = drawPicture(name, size);
    if (!pixmap.isNull()) QPixmapCache::insert(key, pixmap);
    return pixmap;
}

// An icon drawn from its picture only when a window paints it, and only at the pixel sizes asked
// for: a window that is never shown parses and draws nothing, and a screen with a scale factor
// gets sharp pictures instead of enlarged small ones.
class PictureIconEngine : public QIconEngine {
public:
    explicit PictureIconEngine(QString name) : name_(std::move(name)) {}

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const QPixmap normal = renderPicture(name_, std::min(size.width(), size.height()));
        if (mode == QIcon::Normal || normal.isNull()) return normal;
        // Greyed out (or highlighted) the way the style draws any other icon in that state.
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, normal, &option);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        QPixmap picture = pixmap(rect.size() * scale, mode, state);
        picture.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, picture);
    }

    QIconEngine* clone() const override { return new PictureIconEngine(name_); }
    QString key() const override { return QStringLiteral("velmora-picture"); }

private:
    QString name_;
};

// The buttons of the look: flat on the window's background, a thin border under the pointer and
// while focused, rounded corners; a step button (property "step") has its text to the left and
// turns orange while pressed. Every other control keeps the platform's style.
class LookStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    static constexpr int kBorder = 1;
    static constexpr int kPaddingX = 4;
    static constexpr int kPaddingY = 2;
    static constexpr int kStepPaddingLeft = 8;
    static constexpr int kIconSpacing = 4;

    void polish(QWidget* widget) override {
        QProxyStyle::polish(widget);
        if (qobject_cast<QPushButton*>(widget)) widget->setAttribute(Qt::WA_Hover, true);
    }
    using QProxyStyle::polish;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_PushButton || !button) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const bool step = widget && widget->property("step").toBool();
        const bool enabled = button->state & State_Enabled;
        const bool hovered = enabled && (button->state & State_MouseOver);
        const bool pressed = button->state & (State_Sunken | State_On);
        const bool focused = button->state & State_HasFocus;

        QColor fill(kBackgroundColour);
        if (step && pressed) {
            fill = QColor(kPressedColour);
        } else if (hovered) {
            fill = QColor(kHoverColour);
        }
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(QRectF(button->rect), 2, 2);
        if (hovered || focused) {
            painter->setPen(QPen(QColor(kHoverBorderColour), kBorder));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(QRectF(button->rect).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        }
        painter->restore();

        const QRect contents = button->rect.adjusted(
            kBorder + (step ? kStepPaddingLeft : kPaddingX), kBorder + kPaddingY,
            -(kBorder + kPaddingX), -(kBorder + kPaddingY));
        const QSize iconSize = button->icon.isNull() ? QSize() : button->iconSize;
        const int textWidth = button->fontMetrics.horizontalAdvance(button->text);
        const int gap = (!iconSize.isEmpty() && !button->text.isEmpty()) ? kIconSpacing : 0;
        const int width = iconSize.width() + gap + textWidth;
        int x = step ? contents.left() : contents.left() + (contents.width() - width) / 2;
        // A right-to-left button (such as "Next") carries its picture on the right of its text.
        const bool iconRight = button->direction == Qt::RightToLeft;
        if (!iconSize.isEmpty()) {
            const int iconX = iconRight ? x + textWidth + gap : x;
            const QRect iconRect(iconX,
                                 contents.top() + (contents.height() - iconSize.height()) / 2,
                                 iconSize.width(), iconSize.height());
            button->icon.paint(painter, iconRect, Qt::AlignCenter,
                               enabled ? QIcon::Normal : QIcon::Disabled);
            if (!iconRight) x += iconSize.width() + gap;
        }
        // Placed by hand above, so left means left in either direction.
        int flags = Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter | Qt::TextShowMnemonic;
        if (!proxy()->styleHint(SH_UnderlineShortcut, button, widget))
            flags |= Qt::TextHideMnemonic;
        proxy()->drawItemText(painter,
                              QRect(x, contents.top(), contents.right() - x + 1, contents.height()),
                              flags, button->palette, enabled, button->text, QPalette::ButtonText);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        if (type != CT_PushButton) return QProxyStyle::sizeFromContents(type, option, size, widget);
        return size + QSize(2 * (kBorder + kPaddingX), 2 * (kBorder + kPaddingY));
    }
};

}  // namespace

QFont lookFont(int pointSize, bool bold) {
    QFont font(QStringLiteral("Verdana"), pointSize, bold ? QFont::Bold : QFont::Normal);
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void applyLook(QWidget& window) {
    // Drawn over the application's own style: the platform's, or the one a test chose.
    if (!dynamic_cast<LookStyle*>(QApplication::style())) {
        QApplication::setStyle(new LookStyle(QApplication::style()->name()));
    }
    QPalette palette = window.palette();
    const QColor background(kBackgroundColour);
    const QColor text(kTextColour);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Text, text);
    // A list's selection stays as it is drawn in the active state once the list or its window
    // loses the focus: Windows' own inactive pair (white on a very light grey) cannot be read.
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.setFont(lookFont());
}

void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

QIcon lookIcon(const QString& name) {
    const QString picture = QStringLiteral("icons/") + name;
    // An unknown name is no picture, and not worth the toolkit's warning about a missing file.
    if (!pictureExists(picture)) return {};
    return QIcon(new PictureIconEngine(picture));
}

QPixmap logoPixmap(int size) { return renderPicture(QStringLiteral("logo"), size); }

}  // namespace velmora::ui
