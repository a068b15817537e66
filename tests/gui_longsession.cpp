// A long scripted session through the real main window: drags and throws in every mode, mode
// switches, display, nudge and strength changes, attribute and model changes, orbit playback and
// scrubbing, and recordings with the D key. Resident memory, live heap and the GL objects alive
// in the view's context are taken after a warm-up and again at the end; none may grow beyond a
// few percent.
//
// ORVALIS_LONGSESSION_CYCLES sets the number of cycles (default 36, about 1000 drags; rounded up
// to whole periods); every cycle goes through all three modes. ORVALIS_LONGSESSION_TRACE prints
// the figures after every period.
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "glwidget.h"
#include "mainwindow.h"
#include "support.h"
#include "textureManager.h"
#include "view_util.h"
#include "viewPath.h"

#include <QCheckBox>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace testsupport;
using namespace viewtest;

namespace {

// Every choice a cycle makes (nudge mode, strengths, attribute, model, recording) repeats after
// this many cycles, so that figures taken a whole number of periods apart compare like with like.
constexpr int cyclePeriod = 12;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif
#else
constexpr bool underAddressSanitizer = false;
#endif

struct Usage {
    long residentKb = 0;
    size_t heapBytes = 0;
    int textures = 0;
    int buffers = 0;
    int lists = 0;
};

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Bytes handed out by malloc and not yet freed, small blocks and mapped ones alike.
size_t liveHeap() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// GL objects alive in the view's context. Names are counted up to well past the next name the
// driver would hand out, so that names given out and never returned are all seen.
void countGlObjects(GLWidget* view, Usage& u) {
    view->makeCurrent();
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    GLuint probe = 0;
    glGenTextures(1, &probe);
    const GLuint textureLimit = std::max<GLuint>(probe, textureManager::_instance.textureId) + 4096;
    glDeleteTextures(1, &probe);
    u.textures = 0;
    for (GLuint n = 1; n < textureLimit; ++n)
        if (glIsTexture(n)) ++u.textures;
    gl->glGenBuffers(1, &probe);
    const GLuint bufferLimit = probe + 4096;
    gl->glDeleteBuffers(1, &probe);
    u.buffers = 0;
    for (GLuint n = 1; n < bufferLimit; ++n)
        if (gl->glIsBuffer(n)) ++u.buffers;
    const GLuint list = glGenLists(1);
    const GLuint listLimit = list + 4096;
    glDeleteLists(list, 1);
    u.lists = 0;
    for (GLuint n = 1; n < listLimit; ++n)
        if (glIsList(n)) ++u.lists;
    view->doneCurrent();
}

// Driver and toolkit free some blocks a frame or two late, so a single reading can catch a few
// megabytes in passing; the lowest of three readings, each after another frame, does not.
Usage measure(GLWidget* view) {
    Usage u;
    for (int k = 0; k < 3; ++k) {
        view->repaint();
        QTest::qWait(20);
        malloc_trim(0);
        const long resident = residentKb();
        const size_t heap = liveHeap();
        u.residentKb = k == 0 ? resident : std::min(u.residentKb, resident);
        u.heapBytes = k == 0 ? heap : std::min(u.heapBytes, heap);
    }
    countGlObjects(view, u);
    return u;
}

void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void tick(GLWidget* view, int n) {
    for (int k = 0; k < n; ++k)
        QMetaObject::invokeMethod(view, "idle", Qt::DirectConnection);
}

int linesIn(const std::string& path) {
    std::ifstream f(path);
    int n = 0;
    std::string line;
    while (std::getline(f, line))
        ++n;
    return n;
}

class Session {
public:
    explicit Session(MainWindow& w) : window(w), view(w.view()) {}

    // One drag of eight moves from start, then n idle ticks of the throw that the release starts.
    void drag(QPoint start, QPoint step, int ticks) {
        press(view, start);
        QPoint p = start;
        for (int k = 0; k < 8; ++k) {
            p += step;
            move(view, p);
        }
        release(view, p);
        ++drags;
        tick(view, ticks);
        settle();
    }

    void trackballPhase(int cycle) {
        window.tabs()->setCurrentIndex(1);
        settle();
        auto radios = window.trackballPanel()->findChildren<QRadioButton*>();
        for (QRadioButton* r : radios)
            if (r->text() == QString(cycle % 3 == 0   ? "Off"
                                     : cycle % 3 == 1 ? "Recommended Settings"
                                                      : "Slider Settings"))
                r->click();
        auto sliders = window.trackballPanel()->findChildren<QSlider*>();
        for (qsizetype k = 0; k < sliders.size(); ++k) {
            const int span = sliders[k]->maximum() - sliders[k]->minimum();
            const int step = (cycle + 5 * static_cast<int>(k)) % cyclePeriod;
            sliders[k]->setValue(sliders[k]->minimum() + span * step / (cyclePeriod - 1));
        }
        const int half = static_cast<QWidget*>(view)->width() / 2;
        for (int d = 0; d < 20; ++d) {
            const QPoint start(half / 4 + (d * 37) % (half / 2), half / 4 + (d * 53) % (half / 2));
            const QPoint step((d % 7) - 3 + (d % 2 ? 4 : -4), (d % 5) - 2);
            drag(start, step, 3 + d % 4);
        }
        // The sphere in the right square, then the flat map.
        drag(QPoint(half + half / 2, half / 2), QPoint(3, -2), 2);
        QTest::keyClick(view, Qt::Key_Space);
        drag(QPoint(half + half / 2, half / 2), QPoint(-5, 1), 2);
        drag(QPoint(half / 2, half / 2), QPoint(4, 4), 5);
        QTest::keyClick(view, Qt::Key_Space);
        ++switches;
    }

    void visualizerPhase(int cycle) {
        window.tabs()->setCurrentIndex(0);
        settle();
        window.visualizerPanel()->setSelectedAttribute(1 + cycle % 2);
        ++attributeChanges;
        settle();
        const int half = static_cast<QWidget*>(view)->width() / 2;
        for (int d = 0; d < 4; ++d)
            drag(QPoint(half / 3 + 20 * d, half / 2), QPoint(5, (d % 3) - 1), 1);
        QTest::keyClick(view, Qt::Key_V);
        drag(QPoint(half + half / 3, half / 3), QPoint(2, 3), 1);
        QTest::keyClick(view, Qt::Key_V);
        window.visualizerPanel()->setSelectedAttribute(0);
        ++attributeChanges;
        settle();
        ++switches;
    }

    void orbitPhase(int cycle) {
        window.tabs()->setCurrentIndex(2);
        settle();
        for (QRadioButton* r : window.scrubberPanel()->findChildren<QRadioButton*>())
            if (r->text() == QString(cycle % 2 ? "turntable" : "our orbit")) r->click();
        auto* play = window.scrubberPanel()->findChild<QCheckBox*>();
        if (play) {
            play->click();
            QTest::qWait(45);
            play->click();
        }
        const int half = static_cast<QWidget*>(view)->width() / 2;
        drag(QPoint(half / 2, half / 2), QPoint(cycle % 2 ? 6 : -6, 1), 0);
        ++switches;
    }

    void changeModel(int cycle) {
        const int models = static_cast<int>(RenderingSetting::_instance.modelNames.size());
        const int next = (RenderingSetting::_instance.selectedModel + 1) % models;
        switch (cycle % 3) {
        case 0:
            window.visualizerPanel()->setSelectedModel(next);
            break;
        case 1:
            window.trackballPanel()->setSelectedModel(next);
            break;
        default:
            window.scrubberPanel()->setSelectedModel(next);
            break;
        }
        ++modelChanges;
        view->repaint();
        settle();
    }

    void cycle(int n) {
        const bool record = n % 4 == 1;
        long long framesAtStart = 0;
        if (record) {
            QTest::keyClick(view, Qt::Key_D);
            framesAtStart = view->framesPainted();
        }
        trackballPhase(n);
        visualizerPhase(n);
        orbitPhase(n);
        if (n % 2 == 0) changeModel(n);
        if (record) {
            view->repaint();
            const long long frames = view->framesPainted() - framesAtStart;
            QTest::keyClick(view, Qt::Key_D);
            ++recordings;
            // One line per frame painted while recording was on.
            EXPECT_EQ(linesIn("..\\File\\viewpath.txt"), frames) << "cycle " << n;
        }
    }

    MainWindow& window;
    GLWidget* view;
    int drags = 0, switches = 0, attributeChanges = 0, modelChanges = 0, recordings = 0;
};

TEST(LongSession, MemoryAndGlObjectsStayFlat) {
    const char* env = std::getenv("ORVALIS_LONGSESSION_CYCLES");
    const int periods = std::max(2, ((env ? std::atoi(env) : 36) + cyclePeriod - 1) / cyclePeriod);
    const int cycles = periods * cyclePeriod;
    const int warmup = cyclePeriod;

    // Its own copy of the data tree, so the recordings land there.
    TempDir dir;
    copyFixtureTree(dir.path());
    std::filesystem::create_directories(dir / "run");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir / "run");

    Usage warm, end;
    int drags = 0;
    {
        std::unique_ptr<MainWindow> window = openWindow();
        ASSERT_TRUE(window);
        Session session(*window);
        QElapsedTimer clock;
        clock.start();
        for (int n = 0; n < warmup; ++n)
            session.cycle(n);
        warm = measure(window->view());
        const bool trace = std::getenv("ORVALIS_LONGSESSION_TRACE") != nullptr;
        for (int n = warmup; n < cycles; ++n) {
            session.cycle(n);
            if (trace && (n + 1) % cyclePeriod == 0) {
                const Usage u = measure(window->view());
                std::printf("cycle %d: resident %ld kB, heap %zu bytes\n", n + 1, u.residentKb,
                            u.heapBytes);
            }
        }
        end = measure(window->view());
        drags = session.drags;
        const long long frames = window->view()->framesPainted();
        std::printf("long session: %d cycles, %d drags, %d mode switches, %d attribute changes, "
                    "%d model changes, %d recordings, %lld frames, %.1f s\n",
                    cycles, session.drags, session.switches, session.attributeChanges,
                    session.modelChanges, session.recordings, frames, clock.elapsed() / 1000.0);
        std::printf("after warm-up: resident %ld kB, heap %zu bytes, textures %d, buffers %d, "
                    "lists %d\n",
                    warm.residentKb, warm.heapBytes, warm.textures, warm.buffers, warm.lists);
        std::printf("at the end:    resident %ld kB, heap %zu bytes, textures %d, buffers %d, "
                    "lists %d\n",
                    end.residentKb, end.heapBytes, end.textures, end.buffers, end.lists);
        std::fflush(stdout);
        EXPECT_GT(frames, 0);
    }
    std::filesystem::current_path(previous);

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
