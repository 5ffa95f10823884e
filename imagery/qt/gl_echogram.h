#pragma once
// The echogram window: an OpenGL widget (compatibility profile) that shows an
// EchogramImage as a texture, newest ping on top.

#include "imagery/echogram.h"

#include <QOpenGLWidget>
#include <QSurfaceFormat>

#include <array>
#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QResizeEvent;

namespace tarvik {

// The reusable part: context set-up and its failure messages, the viewport,
// the base projection and text drawn with the widget's font.
class COpenGLBase : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit COpenGLBase(QWidget* parent = nullptr);
    // Whether an OpenGL context can be made at all. Ask before creating the
    // widget: a window holding an OpenGL widget cannot even paint without one.
    static bool available();
    // The surface format the widgets ask for.
    static QSurfaceFormat surfaceFormat();

    // Where failure messages go (the view's port); they are dropped while unset.
    std::function<void(std::string_view)> message;
    // Called once the context exists (true) or could not be set up (false).
    std::function<void(bool ready)> onInitialised;

    bool ready() const { return ready_; }
    int viewportWidth() const { return width_; }
    int viewportHeight() const { return height_; }
    // The sum of the character widths of the text's bytes.
    int TextWidth(std::string_view text) const;
    // The distance between two text lines in view units.
    float lineHeight() const { return lineHeight_; }

    // Renders the picture again (on the next turn of the event loop).
    void Draw() { update(); }

protected:
    // Sets up the fixed drawing state; always true.
    bool InitGLState();
    // The subclass's own set-up once the context is current; false when it failed.
    virtual bool initResources() { return true; }
    virtual void ApplyProjection();
    virtual void render();
    void Resize(int width, int height);

    void initializeGL() final;
    void resizeGL(int width, int height) final;
    void paintGL() final;

    bool ready_ = false;
    int width_ = 1, height_ = 1;

private:
    void say(std::string_view text) {
        if (message) message(text);
    }
    std::array<int, 256> charWidths_{};
    float lineHeight_ = 0;
};

class CGLEchogram : public COpenGLBase {
    Q_OBJECT
public:
    explicit CGLEchogram(QWidget* parent = nullptr);
    ~CGLEchogram() override;

    // The picture to show; the widget redraws when its generation changes.
    void setImage(const EchogramImage* image);
    const EchogramImage* image() const { return image_; }
    bool paletted() const { return paletted_; }
    // Uploads the image (and the colour table) and redraws: after AddPing,
    // Clear or a colour-map change of the model.
    void refresh();
    // The line shown at the pane's foot (empty: none), asked again at every refresh.
    std::function<QString()> caption;

protected:
    bool initResources() override;
    void ApplyProjection() override;
    void render() override;

private:
    bool CreateTexture();
    void upload();
    void showCaption();
    void resizeEvent(QResizeEvent* event) override;

    const EchogramImage* image_ = nullptr;
    unsigned texture_ = 0;
    bool paletted_ = false;
    void (*colorTable_)(unsigned, unsigned, int, unsigned, unsigned, const void*) = nullptr;
    std::uint64_t uploaded_ = ~std::uint64_t{0};
    std::vector<std::uint8_t> expanded_;
    QLabel* captionLabel_ = nullptr;
};

} // namespace tarvik
