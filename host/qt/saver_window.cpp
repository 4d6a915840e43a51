#include "host/qt/saver_window.h"

#include "host/qt/text_view.h"

#include <QtGui/qguiapplication_platform.h>
#include <QtGui/QBackingStore>
#include <QtGui/QKeyEvent>
#include <QtGui/QMouseEvent>
#include <QtGui/QOffscreenSurface>
#include <QtGui/QOpenGLContext>
#include <QtGui/QOpenGLFunctions>
#include <QtGui/QPainter>
#include <QtGui/QScreen>
#include <QtOpenGL/QOpenGLShaderProgram>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace quovis {

namespace {

SaverKeyEvent Translate(const QKeyEvent& e) {
    SaverKeyEvent k;
    k.firstPress = !e.isAutoRepeat();
    k.alt = (e.modifiers() & Qt::AltModifier) != 0;
    switch (e.key()) {
        case Qt::Key_Backspace:
            k.key = SaverKey::Backspace;
            break;
        case Qt::Key_Left:
            k.key = SaverKey::Left;
            break;
        case Qt::Key_Up:
            k.key = SaverKey::Up;
            break;
        case Qt::Key_Right:
            k.key = SaverKey::Right;
            break;
        case Qt::Key_Down:
            k.key = SaverKey::Down;
            break;
        case Qt::Key_F5:
            k.key = SaverKey::F5;
            break;
        case Qt::Key_F9:
            k.key = SaverKey::F9;
            break;
        case Qt::Key_F11:
            k.key = SaverKey::F11;
            break;
        case Qt::Key_F12:
            k.key = SaverKey::F12;
            break;
        case Qt::Key_Print:
            k.key = SaverKey::Print;
            break;
        case Qt::Key_Escape:
            k.key = SaverKey::Escape;
            break;
        case Qt::Key_CapsLock:
            k.key = SaverKey::CapsLock;
            break;
        case Qt::Key_Shift:
            k.key = SaverKey::Shift;
            break;
        default: {
            // The key table knows keys by the key pressed, not the text typed, so that the
            // digits, N, E and P work with any layout and with Shift held.
            const bool keypad = (e.modifiers() & Qt::KeypadModifier) != 0;
            char32_t c = KeyTableCharacter(e.key(), e.nativeScanCode(), keypad);
            if (c == 0) {
                const QString text = e.text();
                if (!text.isEmpty() && text.at(0).isPrint()) c = text.toUcs4().value(0);
            }
            if (c != 0) {
                k.key = SaverKey::Character;
                k.character = c;
            }
            break;
        }
    }
    return k;
}

constexpr const char* kVertexShader = R"(
attribute vec2 position;
attribute vec2 texCoord;
varying vec2 uv;
void main() {
    uv = texCoord;
    gl_Position = vec4(position, 0.0, 1.0);
})";

// The display image's words are 0x??RRGGBB: read as RGBA bytes they are B, G, R, unused.
constexpr const char* kFragmentShader = R"(
uniform sampler2D image;
uniform float invert;
varying vec2 uv;
void main() {
    vec3 c = texture2D(image, uv).bgr;
    gl_FragColor = vec4(mix(c, vec3(1.0) - c, invert), 1.0);
})";

// The text over the frame: a premultiplied picture whose words read as RGBA bytes B, G, R, A,
// faded as a whole.
constexpr const char* kTextFragmentShader = R"(
uniform sampler2D image;
uniform float opacity;
varying vec2 uv;
void main() {
    gl_FragColor = texture2D(image, uv).bgra * opacity;
})";

// Where the text sits in a window of this logical size: the text window's own place on a
// monitor, 20 pixels from the left and 120 from the bottom, made smaller to fit a narrow
// window. Empty when the window is too small for readable text.
QRectF TextPlaceIn(const QSize& window) {
    constexpr qreal kWidth = kTextWindowWidth, kHeight = kTextWindowHeight;
    const qreal scale = std::min(1.0, (window.width() - 40.0) / kWidth);
    if (scale < 0.3) return {};
    const qreal h = kHeight * scale;
    return QRectF(20.0 * scale, window.height() - 120.0 * scale, kWidth * scale, h);
}

}  // namespace

std::optional<bool> CapsLockState() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) return std::nullopt;
    xcb_connection_t* c = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr);
    if (reply == nullptr) return std::nullopt;
    const bool on = (reply->mask & XCB_MOD_MASK_LOCK) != 0;
    free(reply);
    return on;
}

bool OpenGlUsable() {
    static const bool usable = [] {
        QOffscreenSurface surface;
        surface.create();
        QOpenGLContext context;
        if (!context.create() || !context.makeCurrent(&surface)) return false;
        const QSurfaceFormat format = context.format();
        context.doneCurrent();
        return format.majorVersion() >= 2;
    }();
    return usable;
}

SaverWindow::SaverWindow(OutputPath path, SaverWindowKind kind, bool capsLockOn,
                         std::function<void(const SaverInputResult&)> onInput)
    : m_path(path),
      m_input(kind, capsLockOn),
      m_onInput(std::move(onInput)),
      m_capsLockNow(capsLockOn) {
    setTitle(QStringLiteral("Quovis"));
    if (m_path == OutputPath::OpenGL) {
        setSurfaceType(QSurface::OpenGLSurface);
        QSurfaceFormat format;
        format.setSwapInterval(1);  // vertical sync
        setFormat(format);
    } else {
        setSurfaceType(QSurface::RasterSurface);
        m_store = std::make_unique<QBackingStore>(this);
    }
    if (kind == SaverWindowKind::FullScreen) {
        setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setCursor(Qt::BlankCursor);
    } else if (kind == SaverWindowKind::Preview) {
        setCursor(Qt::BlankCursor);
    }
}

SaverWindow::~SaverWindow() {
    if (m_gl && m_texture != 0 && m_gl->makeCurrent(this)) {
        m_gl->functions()->glDeleteTextures(1, &m_texture);
        if (m_textTexture != 0) m_gl->functions()->glDeleteTextures(1, &m_textTexture);
        m_program.reset();
        m_textProgram.reset();
        m_gl->doneCurrent();
    }
}

void SaverWindow::exposeEvent(QExposeEvent*) {
    if (m_path == OutputPath::OpenGL && !m_gl && isExposed()) m_ready = SetUpOpenGl();
}

void SaverWindow::SwitchToRaster() {
    // The OpenGL context could not be made for this window: draw without it rather than
    // show nothing. The window is made again as a raster window.
    std::fputs("quovis: OpenGL output could not be set up; drawing without it\n", stderr);
    m_program.reset();
    m_textProgram.reset();
    m_textTexture = 0;
    m_gl.reset();
    const bool visible = isVisible();
    destroy();
    setSurfaceType(QSurface::RasterSurface);
    m_store = std::make_unique<QBackingStore>(this);
    m_path = OutputPath::Raster;
    m_ready = true;
    create();
    if (visible) show();
}

bool SaverWindow::SetUpOpenGl() {
    m_gl = std::make_unique<QOpenGLContext>();
    m_gl->setFormat(requestedFormat());
    if (!m_gl->create() || !m_gl->makeCurrent(this)) return false;
    m_program = std::make_unique<QOpenGLShaderProgram>();
    if (!m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
        !m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) ||
        !m_program->link()) {
        return false;
    }
    QOpenGLFunctions* f = m_gl->functions();
    f->glGenTextures(1, &m_texture);
    f->glBindTexture(GL_TEXTURE_2D, m_texture);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return true;
}

void SaverWindow::Present(const uint32_t* pixels, int width, int height, bool invert) {
    if (!isExposed() || pixels == nullptr || width <= 0 || height <= 0) return;
    const QSize device = DeviceSize();
    const bool stretched = width != device.width() || height != device.height();
    if (stretched) {
        m_stretchToggle = !m_stretchToggle;
        if (!m_stretchToggle) return;
    }
    if (m_path == OutputPath::OpenGL && !m_ready) SwitchToRaster();
    if (m_path == OutputPath::OpenGL) {
        PresentOpenGl(pixels, width, height, invert);
    } else {
        PresentRaster(pixels, width, height, invert);
    }
}

void SaverWindow::CopyFlipped(const uint32_t* pixels, int width, int height, QImage* target) {
    // The display image leaves its fourth byte alone; the window's pixels are opaque.
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = pixels + static_cast<std::ptrdiff_t>(height - 1 - y) * width;
        auto* dst = reinterpret_cast<uint32_t*>(target->scanLine(y));
        for (int x = 0; x < width; ++x) dst[x] = src[x] | 0xFF000000u;
    }
}

void SaverWindow::PresentRaster(const uint32_t* pixels, int width, int height, bool invert) {
    const QRect area(0, 0, this->width(), this->height());
    if (m_store->size() != area.size()) m_store->resize(area.size());
    m_store->beginPaint(area);
    const QSize device = DeviceSize();
    const bool stretched = width != device.width() || height != device.height();
    // A picture the size of the window is copied straight into the backing store's own
    // image, turning it the right way up on the way: a flipping draw would take Qt's general
    // transformed-image path, several times dearer than the copy.
    auto* target = dynamic_cast<QImage*>(m_store->paintDevice());
    const bool copy = !stretched && target != nullptr && target->size() == QSize(width, height) &&
                      (target->format() == QImage::Format_RGB32 ||
                       target->format() == QImage::Format_ARGB32_Premultiplied);
    if (copy) CopyFlipped(pixels, width, height, target);
    {
        QPainter painter(m_store->paintDevice());
        if (!copy) {
            const QImage image(reinterpret_cast<const uchar*>(pixels), width, height, width * 4,
                               QImage::Format_RGB32);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, stretched);
            // The display image's rows run bottom-up.
            painter.translate(0, area.height());
            painter.scale(static_cast<double>(area.width()) / width,
                          -static_cast<double>(area.height()) / height);
            painter.drawImage(0, 0, image);
            painter.resetTransform();
        }
        if (invert) {
            painter.setCompositionMode(QPainter::CompositionMode_Difference);
            painter.fillRect(area, Qt::white);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        if (m_text && m_textAlpha > 0.0) {
            const QRectF place = TextPlaceIn(area.size());
            if (!place.isEmpty()) {
                painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
                painter.setOpacity(m_textAlpha);
                painter.drawImage(place, *m_text);
            }
        }
    }
    m_store->endPaint();
    m_store->flush(area);
}

void SaverWindow::PresentOpenGl(const uint32_t* pixels, int width, int height, bool invert) {
    if (!m_gl || !m_ready || !m_gl->makeCurrent(this)) return;
    QOpenGLFunctions* f = m_gl->functions();
    const qreal ratio = devicePixelRatio();
    f->glViewport(0, 0, static_cast<int>(this->width() * ratio),
                  static_cast<int>(this->height() * ratio));
    f->glDisable(GL_BLEND);
    f->glBindTexture(GL_TEXTURE_2D, m_texture);
    f->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    f->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    m_program->bind();
    m_program->setUniformValue("image", 0);
    m_program->setUniformValue("invert", invert ? 1.0f : 0.0f);
    // Texture row 0 is the bottom row of the picture, as OpenGL expects.
    static const GLfloat positions[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    static const GLfloat coords[] = {0, 0, 1, 0, 0, 1, 1, 1};
    m_program->enableAttributeArray("position");
    m_program->enableAttributeArray("texCoord");
    m_program->setAttributeArray("position", positions, 2);
    m_program->setAttributeArray("texCoord", coords, 2);
    f->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    m_program->disableAttributeArray("position");
    m_program->disableAttributeArray("texCoord");
    m_program->release();
    DrawTextOverlayGl();
    m_gl->swapBuffers(this);
}

void SaverWindow::SetTextOverlay(const QImage& text, double alpha) {
    if (alpha <= 0.0 || text.isNull()) {
        m_textAlpha = 0.0;
        return;
    }
    // The picture is shared, not copied, until its owner paints new lines into it.
    if (!m_text || m_text->cacheKey() != text.cacheKey()) {
        m_text = std::make_unique<QImage>(text);
        m_textChanged = true;
    }
    m_textAlpha = std::min(alpha, 1.0);
}

void SaverWindow::DrawTextOverlayGl() {
    if (!m_text || m_textAlpha <= 0.0) return;
    const QRectF place = TextPlaceIn(size());
    if (place.isEmpty()) return;
    QOpenGLFunctions* f = m_gl->functions();
    if (!m_textProgram) {
        m_textProgram = std::make_unique<QOpenGLShaderProgram>();
        if (!m_textProgram->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
            !m_textProgram->addShaderFromSourceCode(QOpenGLShader::Fragment, kTextFragmentShader) ||
            !m_textProgram->link()) {
            m_text.reset();  // no text rather than a broken frame
            return;
        }
        f->glGenTextures(1, &m_textTexture);
        f->glBindTexture(GL_TEXTURE_2D, m_textTexture);
        f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        m_textChanged = true;
    }
    f->glBindTexture(GL_TEXTURE_2D, m_textTexture);
    if (m_textChanged) {
        m_textChanged = false;
        f->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        f->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, m_text->width(), m_text->height(), 0, GL_RGBA,
                        GL_UNSIGNED_BYTE, m_text->constBits());
    }
    // The picture's first row is its top; window coordinates run down, OpenGL's up.
    const qreal w = width(), h = height();
    const GLfloat x0 = static_cast<GLfloat>(place.left() / w * 2.0 - 1.0);
    const GLfloat x1 = static_cast<GLfloat>(place.right() / w * 2.0 - 1.0);
    const GLfloat y0 = static_cast<GLfloat>(1.0 - place.bottom() / h * 2.0);
    const GLfloat y1 = static_cast<GLfloat>(1.0 - place.top() / h * 2.0);
    const GLfloat positions[] = {x0, y0, x1, y0, x0, y1, x1, y1};
    static const GLfloat coords[] = {0, 1, 1, 1, 0, 0, 1, 0};
    f->glEnable(GL_BLEND);
    f->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    m_textProgram->bind();
    m_textProgram->setUniformValue("image", 0);
    m_textProgram->setUniformValue("opacity", static_cast<GLfloat>(m_textAlpha));
    m_textProgram->enableAttributeArray("position");
    m_textProgram->enableAttributeArray("texCoord");
    m_textProgram->setAttributeArray("position", positions, 2);
    m_textProgram->setAttributeArray("texCoord", coords, 2);
    f->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    m_textProgram->disableAttributeArray("position");
    m_textProgram->disableAttributeArray("texCoord");
    m_textProgram->release();
    f->glDisable(GL_BLEND);
}

void SaverWindow::PresentStartImage(const QImage& desktop, double alpha) {
    if (!isExposed() || m_path != OutputPath::Raster) return;
    const QRect area(0, 0, width(), height());
    if (m_store->size() != area.size()) m_store->resize(area.size());
    m_store->beginPaint(area);
    {
        QPainter painter(m_store->paintDevice());
        painter.fillRect(area, Qt::black);
        if (!desktop.isNull()) {
            painter.setOpacity(std::clamp(alpha, 0.0, 1.0));
            painter.drawImage(area, desktop);
        }
    }
    m_store->endPaint();
    m_store->flush(area);
}

QSize SaverWindow::DeviceSize() const {
    const qreal ratio = devicePixelRatio();
    return QSize(static_cast<int>(width() * ratio + 0.5), static_cast<int>(height() * ratio + 0.5));
}

void ShowFullScreenOn(QWindow& window, QScreen* screen) {
    if (screen != nullptr) {
        window.setScreen(screen);
        window.setGeometry(screen->geometry());
    }
    window.showFullScreen();
}

void ShowSpanning(QWindow& window, const QRect& area) {
    if (QGuiApplication::platformName() == u"xcb") {
        window.setFlag(Qt::X11BypassWindowManagerHint, true);
        window.setGeometry(area);
        window.show();
        return;
    }
    ShowFullScreenOn(window, QGuiApplication::screenAt(area.topLeft()));
}

bool GrabInput(QWindow& window) {
    if (QGuiApplication::platformName() != u"xcb") return true;  // the compositor's business
    if (!window.isExposed()) return false;
    const bool keys = window.setKeyboardGrabEnabled(true);
    const bool pointer = window.setMouseGrabEnabled(true);
    return keys && pointer;
}

void RaiseAgain(QWindow& window) {
    // Only X11 lets a program restack its windows; elsewhere the request only earns a warning
    // every time.
    if (window.isVisible() && QGuiApplication::platformName() == u"xcb") window.raise();
}

void SaverWindow::Deliver(const SaverInputResult& result) {
    if (result.action != SaverAction::None && m_onInput) m_onInput(result);
}

void SaverWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Deliver(m_input.PointerMove(p.x(), p.y()));
}

void SaverWindow::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Deliver(m_input.ButtonPress(event->button() == Qt::LeftButton, p.x(), p.y()));
}

void SaverWindow::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Deliver(m_input.ButtonRelease(event->button() == Qt::LeftButton, p.x(), p.y()));
}

void SaverWindow::keyPressEvent(QKeyEvent* event) {
    Deliver(m_input.KeyPress(Translate(*event)));
}

void SaverWindow::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    // The lock state comes from the X server where there is one; elsewhere every CapsLock
    // release toggles it.
    const SaverKeyEvent key = Translate(*event);
    if (key.key == SaverKey::CapsLock) m_capsLockNow = CapsLockState().value_or(!m_capsLockNow);
    Deliver(m_input.KeyRelease(key, m_capsLockNow));
}

}  // namespace quovis
