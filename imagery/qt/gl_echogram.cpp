#include "imagery/qt/gl_echogram.h"

#include <QFontMetrics>
#include <QOffscreenSurface>
#include <QLabel>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <GL/gl.h>

#include <cstring>

#ifndef GL_COLOR_INDEX8_EXT
#define GL_COLOR_INDEX8_EXT 0x80E5
#endif

namespace tarvik {

namespace {
constexpr int kTexWidth = static_cast<int>(EchogramImage::kWidth);
constexpr int kTexHeight = static_cast<int>(EchogramImage::kHeight);
} // namespace

// ----------------------------------------------------------------- COpenGLBase

COpenGLBase::COpenGLBase(QWidget* parent) : QOpenGLWidget(parent) { setFormat(surfaceFormat()); }

bool COpenGLBase::available() {
    QOpenGLContext context;
    context.setFormat(surfaceFormat());
    if (!context.create()) return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
    context.doneCurrent();
    return true;
}

QSurfaceFormat COpenGLBase::surfaceFormat() {
    // Double buffered RGBA with a 16-bit depth buffer, no stencil; old-style
    // drawing calls need the compatibility profile; swaps do not wait for the retrace.
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(16);
    format.setStencilBufferSize(0);
    format.setSwapInterval(0);
    return format;
}

int COpenGLBase::TextWidth(std::string_view text) const {
    int sum = 0;
    for (char c : text) sum += charWidths_[static_cast<unsigned char>(c)];
    return sum;
}

void COpenGLBase::initializeGL() {
    QOpenGLContext* context = this->context();
    if (context == nullptr || !context->isValid()) {
        ready_ = false;
        say("Can't Create A GL Rendering Context.");
        if (onInitialised) onInitialised(false);
        return;
    }
    // Text is drawn with the widget's font; its widths and line height stand
    // in for the bitmap font of the platform.
    QFont font = this->font();
    font.setPixelSize(10);
    const QFontMetrics metrics(font);
    for (int c = 32; c < 256; ++c) charWidths_[static_cast<std::size_t>(c)] = metrics.horizontalAdvance(QChar(c));
    ready_ = true;
    InitGLState();
    if (!initResources()) {
        ready_ = false;
        say("Error Initializing OpenGL, Imagery Display Disabled");
        if (onInitialised) onInitialised(false);
        return;
    }
    if (onInitialised) onInitialised(true);
}

bool COpenGLBase::InitGLState() {
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    return true;
}

void COpenGLBase::Resize(int width, int height) {
    width_ = width > 0 ? width : 1;
    height_ = height > 0 ? height : 1;
    // The view unit distance between window rows 1 and 10 of the base projection (height 1).
    lineHeight_ = 9.0f / static_cast<float>(height_);
}

void COpenGLBase::resizeGL(int width, int height) {
    // Qt passes device-independent pixels; the viewport wants device pixels.
    const qreal ratio = devicePixelRatioF();
    Resize(static_cast<int>(width * ratio), static_cast<int>(height * ratio));
}

void COpenGLBase::ApplyProjection() {
    glViewport(0, 0, width_, height_);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double half = 0.5 * width_ / height_;
    glOrtho(-half, half, 0.0, 1.0, 0.0, -1.0);
    glMatrixMode(GL_MODELVIEW);
}

void COpenGLBase::render() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void COpenGLBase::paintGL() {
    if (!ready_) return;
    ApplyProjection();
    render();
}

// ----------------------------------------------------------------- CGLEchogram

CGLEchogram::CGLEchogram(QWidget* parent) : COpenGLBase(parent) {}

CGLEchogram::~CGLEchogram() {
    if (texture_ != 0 && context() != nullptr) {
        makeCurrent();
        glDeleteTextures(1, &texture_);
        doneCurrent();
    }
}

void CGLEchogram::setImage(const EchogramImage* image) {
    image_ = image;
    uploaded_ = ~std::uint64_t{0};
    update();
}

void CGLEchogram::refresh() {
    showCaption();
    update();
}

bool CGLEchogram::initResources() { return CreateTexture(); }

bool CGLEchogram::CreateTexture() {
    // The colour-table extension makes the texture paletted: one byte per pixel
    // goes up per ping, and a colour change reloads only 256 entries.
    QOpenGLContext* context = this->context();
    paletted_ = false;
    colorTable_ = nullptr;
    if (context->hasExtension("GL_EXT_paletted_texture"))
        colorTable_ = reinterpret_cast<decltype(colorTable_)>(context->getProcAddress("glColorTableEXT"));
    paletted_ = colorTable_ != nullptr;

    glGenTextures(1, &texture_);
    if (texture_ == 0) return false;
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (paletted_)
        glTexImage2D(GL_TEXTURE_2D, 0, GL_COLOR_INDEX8_EXT, kTexWidth, kTexHeight, 0, GL_COLOR_INDEX, GL_UNSIGNED_BYTE,
                     nullptr);
    else
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kTexWidth, kTexHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    return glGetError() == GL_NO_ERROR;
}

void CGLEchogram::upload() {
    if (image_ == nullptr || image_->generation() == uploaded_) return;
    uploaded_ = image_->generation();
    glBindTexture(GL_TEXTURE_2D, texture_);
    if (paletted_) {
        colorTable_(GL_TEXTURE_2D, GL_RGBA8, 256, GL_RGBA, GL_UNSIGNED_BYTE, image_->colourMap().data());
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kTexWidth, kTexHeight, GL_COLOR_INDEX, GL_UNSIGNED_BYTE,
                        image_->indices().data());
    } else {
        image_->expand(expanded_);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kTexWidth, kTexHeight, GL_RGBA, GL_UNSIGNED_BYTE, expanded_.data());
    }
}

void CGLEchogram::ApplyProjection() {
    glViewport(0, 0, width_, height_);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const OrthoBox box = image_ ? image_->projection(width_, height_) : OrthoBox{};
    glOrtho(box.left, box.right, box.bottom, box.top, 0.0, -1.0);
    glMatrixMode(GL_MODELVIEW);
}

void CGLEchogram::render() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (image_ == nullptr) return;
    upload();
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glRotated(image_->rotationDegrees(), 0.0, 0.0, 1.0);
    const double top = image_->top(), bottom = image_->bottom();
    // One strip across the width; texture row 0, the newest ping, at the top.
    glBegin(GL_TRIANGLE_STRIP);
    for (std::uint32_t i = 0; i < EchogramImage::kWidth; ++i) {
        const double s = i / (EchogramImage::kWidth - 1.0);
        const double x = image_->columnX(i);
        glTexCoord2d(s, 0.0);
        glVertex2d(x, top);
        glTexCoord2d(s, 1.0);
        glVertex2d(x, bottom);
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

// While the echogram has nothing to draw, a line at its foot says so, as the
// sector pane does. It is a child label over the picture, so it shows whatever
// the OpenGL drawing does.
void CGLEchogram::showCaption() {
    const QString text = caption ? caption() : QString();
    if (text.isEmpty()) {
        if (captionLabel_) captionLabel_->hide();
        return;
    }
    if (captionLabel_ == nullptr) {
        captionLabel_ = new QLabel(this);
        captionLabel_->setAlignment(Qt::AlignCenter);
        captionLabel_->setWordWrap(true);
        captionLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
        captionLabel_->setStyleSheet("QLabel { background: rgba(12, 14, 22, 200); color: rgb(200, 200, 210); padding: 2px 6px; }");
    }
    captionLabel_->setText(text);
    const int band = fontMetrics().height() * 2 + 4;
    captionLabel_->setGeometry(0, height() - band, width(), band);
    captionLabel_->show();
}

void CGLEchogram::resizeEvent(QResizeEvent* event) {
    COpenGLBase::resizeEvent(event);
    showCaption();
}

} // namespace tarvik
