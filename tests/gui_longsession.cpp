// A long scripted session through the real main window: drags and throws in every mode, mode
// switches, display, nudge and strength changes, attribute and model changes, orbit playback and
// scrubbing, and recordings with the D key. Resident memory, live heap and the GL objects alive
// in the view's context are taken after a warm-up and again at the end; none may grow beyond a
// few percent.
//
// ORVALIS_LONGSESSION_CYCLES sets the number of cycles (default 36, about 1000 drags; rounded up
// to whole periods); every cycle goes through all three modes.
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "textureManager.h"
#include "view_util.h"

#include <QCheckBox>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSlider>
#include <QTabWidget>

#include <malloc.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <fstream>

using namespace viewtest;

namespace {

// Every choice a cycle makes (nudge mode, strengths, attribute, model, recording) repeats after
// this many cycles, so that figures taken a whole number of periods apart compare like with like.
constexpr int cyclePeriod = 12;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool underAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool underAddressSanitizer = false;
#endif

struct Usage {
    long residentKb = 0;
    size_t heapBytes = 0; // handed out by malloc and not yet freed, small blocks and mapped ones
    int textures = 0, buffers = 0, lists = 0;
};

// GL objects of one kind alive in the current context. Names are counted up to well past the next
// name the driver would hand out, so that names given out and never returned are all seen.
template <class Is> int aliveNames(GLuint next, Is isName) {
    int n = 0;
    for (GLuint name = 1; name < next + 4096; ++name)
        n += isName(name) ? 1 : 0;
    return n;
}

// Driver and toolkit free some blocks a frame or two late, so a single reading can catch a few
// megabytes in passing; the lowest of three readings, each after another frame, does not.
Usage measure(GLWidget* view) {
    Usage u{LONG_MAX, SIZE_MAX};
    for (int k = 0; k < 3; ++k) {
        view->repaint();
        QTest::qWait(20);
        malloc_trim(0);
        long size = 0, resident = 0;
        std::ifstream("/proc/self/statm") >> size >> resident;
        const struct mallinfo2 m = mallinfo2();
        u.residentKb = std::min(u.residentKb, resident * (sysconf(_SC_PAGESIZE) / 1024));
        u.heapBytes = std::min(u.heapBytes, m.uordblks + m.hblkhd);
    }
    view->makeCurrent();
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    GLuint probe = 0;
    glGenTextures(1, &probe);
    glDeleteTextures(1, &probe);
    u.textures = aliveNames(std::max<GLuint>(probe, textureManager::_instance.textureId),
                            [](GLuint n) { return glIsTexture(n); });
    gl->glGenBuffers(1, &probe);
    gl->glDeleteBuffers(1, &probe);
    u.buffers = aliveNames(probe, [gl](GLuint n) { return gl->glIsBuffer(n); });
    probe = glGenLists(1);
    glDeleteLists(probe, 1);
    u.lists = aliveNames(probe, [](GLuint n) { return glIsList(n); });
    view->doneCurrent();
    return u;
}

void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

class Session {
public:
    explicit Session(MainWindow& w) : window(w), view(w.view()) {}

    // One drag of eight moves from start, then n idle ticks of the throw that the release starts.
    void drag(QPoint start, QPoint step, int ticks) {
        press(view, start);
        for (int k = 0; k < 8; ++k)
            move(view, start += step);
        release(view, start);
        ++drags;
        for (int k = 0; k < ticks; ++k)
            QMetaObject::invokeMethod(view, "idle", Qt::DirectConnection);
        settle();
    }

    void trackballPhase(int cycle) {
        window.tabs()->setCurrentIndex(1);
        settle();
        click(window.trackballPanel(), cycle % 3 == 0   ? "Off"
                                       : cycle % 3 == 1 ? "Recommended Settings"
                                                        : "Slider Settings");
        auto sliders = window.trackballPanel()->findChildren<QSlider*>();
        for (qsizetype k = 0; k < sliders.size(); ++k) {
            const int span = sliders[k]->maximum() - sliders[k]->minimum();
            const int step = (cycle + 5 * static_cast<int>(k)) % cyclePeriod;
            sliders[k]->setValue(sliders[k]->minimum() + span * step / (cyclePeriod - 1));
        }
        for (int d = 0; d < 20; ++d) {
            const QPoint start(half / 4 + (d * 37) % (half / 2), half / 4 + (d * 53) % (half / 2));
            drag(start, QPoint((d % 7) - 3 + (d % 2 ? 4 : -4), (d % 5) - 2), 3 + d % 4);
        }
        // The sphere in the right square, then the flat map.
        drag(QPoint(half + half / 2, half / 2), QPoint(3, -2), 2);
        QTest::keyClick(view, Qt::Key_Space);
        drag(QPoint(half + half / 2, half / 2), QPoint(-5, 1), 2);
        drag(QPoint(half / 2, half / 2), QPoint(4, 4), 5);
        QTest::keyClick(view, Qt::Key_Space);
    }

    void visualizerPhase(int cycle) {
        window.tabs()->setCurrentIndex(0);
        settle();
        window.visualizerPanel()->setSelectedAttribute(1 + cycle % 2);
        settle();
        for (int d = 0; d < 4; ++d)
            drag(QPoint(half / 3 + 20 * d, half / 2), QPoint(5, (d % 3) - 1), 1);
        QTest::keyClick(view, Qt::Key_V);
        drag(QPoint(half + half / 3, half / 3), QPoint(2, 3), 1);
        QTest::keyClick(view, Qt::Key_V);
        window.visualizerPanel()->setSelectedAttribute(0);
        settle();
    }

    void orbitPhase(int cycle) {
        window.tabs()->setCurrentIndex(2);
        settle();
        click(window.scrubberPanel(), cycle % 2 ? "turntable" : "our orbit");
        auto* play = window.scrubberPanel()->findChild<QCheckBox*>();
        play->click();
        QTest::qWait(45);
        play->click();
        drag(QPoint(half / 2, half / 2), QPoint(cycle % 2 ? 6 : -6, 1), 0);
    }

    void changeModel(int cycle) {
        const int models = static_cast<int>(RenderingSetting::_instance.modelNames.size());
        const int next = (RenderingSetting::_instance.selectedModel + 1) % models;
        cycle % 3 == 0   ? window.visualizerPanel()->setSelectedModel(next)
        : cycle % 3 == 1 ? window.trackballPanel()->setSelectedModel(next)
                         : window.scrubberPanel()->setSelectedModel(next);
        view->repaint();
        settle();
    }

    void cycle(int n) {
        const bool record = n % 4 == 1;
        if (record) QTest::keyClick(view, Qt::Key_D);
        const long long framesAtStart = view->framesPainted();
        trackballPhase(n);
        visualizerPhase(n);
        orbitPhase(n);
        if (n % 2 == 0) changeModel(n);
        if (!record) return;
        view->repaint();
        const long long frames = view->framesPainted() - framesAtStart;
        QTest::keyClick(view, Qt::Key_D);
        // One line per frame painted while recording was on.
        const std::string text = testsupport::readFile("..\\File\\viewpath.txt");
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), frames) << "cycle " << n;
    }

    MainWindow& window;
    GLWidget* view;
    const int half = static_cast<QWidget*>(view)->width() / 2;
    int drags = 0;
};

TEST(LongSession, MemoryAndGlObjectsStayFlat) {
    const char* env = std::getenv("ORVALIS_LONGSESSION_CYCLES");
    const int periods = std::max(2, ((env ? std::atoi(env) : 36) + cyclePeriod - 1) / cyclePeriod);
    const int cycles = periods * cyclePeriod;

    // Its own copy of the data tree, so the recordings land there.
    ScratchTree tree;

    Usage warm, end;
    int drags = 0;
    {
        std::unique_ptr<MainWindow> window = openWindow();
        Session session(*window);
        for (int n = 0; n < cycles; ++n) {
            if (n == cyclePeriod) warm = measure(window->view());
            session.cycle(n);
        }
        end = measure(window->view());
        drags = session.drags;
        EXPECT_GT(window->view()->framesPainted(), 0);
    }
    for (const auto& [when, u] : {std::pair{"after warm-up", warm}, {"at the end", end}})
        std::printf("%s: resident %ld kB, heap %zu bytes, textures %d, buffers %d, lists %d\n",
                    when, u.residentKb, u.heapBytes, u.textures, u.buffers, u.lists);

    EXPECT_GE(drags, 25 * cycles);
    // The goodness texture is replaced, never added to; mesh buffers likewise.
    EXPECT_GE(warm.textures, 1);
    EXPECT_EQ(end.textures, warm.textures);
    EXPECT_EQ(end.buffers, warm.buffers);
    EXPECT_EQ(end.lists, warm.lists);
    if (underAddressSanitizer) {
        // The sanitizer's own allocator keeps freed blocks in quarantine, so these figures say
        // nothing about the program; its leak check at exit covers the heap instead.
        GTEST_SKIP() << "memory figures are not meaningful under AddressSanitizer";
    }
    EXPECT_LE(end.heapBytes, warm.heapBytes + warm.heapBytes / 33 + (256 << 10));
    EXPECT_LE(end.residentKb, warm.residentKb + warm.residentKb / 20 + 1024);
}

} // namespace

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
