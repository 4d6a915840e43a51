#include "host/qt/text_view.h"

#include <QtGui/qguiapplication_platform.h>
#include <QtGui/QBackingStore>
#include <QtGui/QFont>
#include <QtGui/QFontMetricsF>
#include <QtGui/QGuiApplication>
#include <QtGui/QPainter>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "host/qt/saver_window.h"

namespace quovis {

namespace {

QColor ToQColor(TextColour c, int alpha = 255) {
    return QColor(c.red, c.green, c.blue, alpha);
}

// The face the text window is set in. Fontconfig answers "Times New Roman" with the metric
// twin it has (Liberation Serif on Debian).
const QFont& LinesFont(int pixelHeight) {
    static QFont font = [] {
        QFont f(QStringLiteral("Times New Roman"));
        f.setStyleHint(QFont::Serif, QFont::PreferAntialias);
        return f;
    }();
    if (font.pixelSize() != pixelHeight) font.setPixelSize(std::max(1, pixelHeight));
    return font;
}

}  // namespace

QRect TextWindowPlace(const QRect& monitor) {
    return QRect(monitor.left() + 20, monitor.bottom() + 1 - 120, kTextWindowWidth,
                 kTextWindowHeight);
}

void PaintTextLines(QImage& image, const QSize& size, qreal devicePixelRatio,
                    const TextLines& lines, TextColour colour) {
    if (image.size() != size || image.format() != QImage::Format_ARGB32_Premultiplied) {
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    }
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    const qreal width = size.width() / devicePixelRatio;
    const qreal height = size.height() / devicePixelRatio;
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setFont(LinesFont(static_cast<int>(0.3 * height)));
    const QFontMetricsF metrics(painter.font());
    const qreal step = height / 3.0 - 1.0;
    const qreal margin = 6.0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        // Long lines (a picture's path) lose their middle rather than their end.
        const QString text = metrics.elidedText(QString::fromStdU16String(lines[i]),
                                                Qt::ElideMiddle, width - 2 * margin);
        const QRectF box(margin, static_cast<qreal>(i) * step, width - 2 * margin, step + 1.0);
        // A soft shadow keeps the letters readable over the brightest art.
        painter.setPen(QColor(0, 0, 0, 110));
        painter.drawText(box.translated(1.2, 1.2), Qt::AlignLeft | Qt::AlignVCenter, text);
        painter.setPen(ToQColor(colour));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

bool CompositorRunning() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) return false;
    xcb_connection_t* c = x11->connection();
    // A compositing manager owns the selection _NET_WM_CM_S<screen>.
    const std::string name = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    if (atom == nullptr) return false;
    const xcb_atom_t selection = atom->atom;
    free(atom);
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (owner == nullptr) return false;
    const bool running = owner->owner != XCB_WINDOW_NONE;
    free(owner);
    return running;
}

// ============================================================================================
// The text window
// ============================================================================================

TextOverlayWindow::TextOverlayWindow(QWindow* owner) {
    setTitle(QStringLiteral("Oru Text"));
    setSurfaceType(QSurface::RasterSurface);
    QSurfaceFormat format;
    format.setAlphaBufferSize(8);
    setFormat(format);
    // Outside the window manager's stacking, so a full-screen saver does not cover it; no
    // input shape, so clicks and the pointer go to the saver beneath; and never focused.
    setFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
             Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
             Qt::WindowDoesNotAcceptFocus);
    if (owner != nullptr) setTransientParent(owner);
    m_store = std::make_unique<QBackingStore>(this);
    resize(kTextWindowWidth, kTextWindowHeight);
}

TextOverlayWindow::~TextOverlayWindow() = default;

void TextOverlayWindow::PlaceOn(const QRect& monitor) {
    setGeometry(TextWindowPlace(monitor));
}

void TextOverlayWindow::ShowText(const TextShown& shown) {
    m_shown = shown;
    if (shown.alpha <= 0) {
        if (isVisible()) hide();
        return;
    }
    if (shown.serial != m_serial || m_lines.isNull()) {
        m_serial = shown.serial;
        const qreal ratio = devicePixelRatio();
        PaintTextLines(m_lines, size() * ratio, ratio, shown.lines, shown.colour);
    }
    if (!isVisible()) {
        show();
        raise();
    }
    Repaint();
}

void TextOverlayWindow::exposeEvent(QExposeEvent*) {
    if (isExposed()) Repaint();
}

void TextOverlayWindow::Repaint() {
    if (!isExposed() || m_lines.isNull()) return;
    const QRect area(QPoint(0, 0), size());
    if (m_store->size() != area.size()) m_store->resize(area.size());
    m_store->beginPaint(area);
    {
        QPainter painter(m_store->paintDevice());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(area, Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        // The fade is painted into the window's own alpha: a window opacity would need the
        // compositor's cooperation as well.
        painter.setOpacity(std::clamp(m_shown.alpha, 0, 255) / 255.0);
        painter.drawImage(area, m_lines);
    }
    m_store->endPaint();
    m_store->flush(area);
}

// ============================================================================================
// The text in the frame
// ============================================================================================

void FrameTextView::ShowText(const TextShown& shown) {
    if (shown.alpha > 0 && (shown.serial != m_serial || m_lines.isNull())) {
        m_serial = shown.serial;
        const qreal ratio = m_window.devicePixelRatio();
        PaintTextLines(m_lines, QSize(kTextWindowWidth, kTextWindowHeight) * ratio, ratio,
                       shown.lines, shown.colour);
    }
    m_window.SetTextOverlay(m_lines, shown.alpha / 255.0);
}

}  // namespace quovis
