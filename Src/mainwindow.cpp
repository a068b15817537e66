#include "mainwindow.h"

#include "DataDir.h"
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "file.h"
#include "glwidget.h"
#include "openController.h"
#include "textureManager.h"
#include "viewPath.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>

MainWindow::MainWindow(bool showInstructions) : QMainWindow(nullptr) {
    visualizerDialog = new VisualizerDialog();
    trackballDialog = new TrackballDialog();
    scrubberDialog = new ScrubberDialog();
    visualizerDialog->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    trackballDialog->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    scrubberDialog->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);

    centralWidget = new QWidget;
    setCentralWidget(centralWidget);

    glWidget = new GLWidget(nullptr);
    glWidget->setFocus(Qt::OtherFocusReason);

    scrollArea = new QScrollArea;
    scrollArea->setWidget(glWidget);
    scrollArea->setWidgetResizable(true);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    scrollArea->setMinimumSize(950, 480);
    scrollArea->setFrameStyle(QFrame::Panel | QFrame::Raised);

    openController = new OpenController(this);
    setAcceptDrops(true);
    createActions();
    createMenus();

    tabWidget = new QTabWidget;
    tabWidget->setTabsClosable(false);
    tabWidget->insertTab(0, visualizerDialog, tr("Visualizer"));
    tabWidget->insertTab(1, trackballDialog, tr("Trackball"));
    tabWidget->insertTab(2, scrubberDialog, tr("Orbit"));
    // Connected only now, so that inserting the tabs runs no mode switch.
    connect(tabWidget, &QTabWidget::currentChanged, this, &MainWindow::changeApplicationMode);

    auto* layout = new QVBoxLayout;
    layout->addWidget(scrollArea, 0);
    layout->addWidget(tabWidget, 0);
    centralWidget->setLayout(layout);

    setWindowTitle(tr("Orvalis"));
    resize(1000, 700);

    RenderingSetting& settings = RenderingSetting::_instance;
    viewPath& path = viewPath::_instance;
    const int n = path.loadViewPath(settings.viewpointFilePath());
    if (n > 0) {
        path.calculateTurnTablePath();
        scrubberDialog->setViewpathSliderRange(n - 1);
        scrubberDialog->setViewpathSliderValue(0);
        path.currentIndex = 0;
    }

    show();
    loadInstructionText(showInstructions);
}

MainWindow::~MainWindow() {
    std::free(instructionText);
}

void MainWindow::createActions() {
    aboutAction = new QAction(tr("&About"), this);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::about);
}

void MainWindow::createMenus() {
    fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(openController->openAction());
    helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(aboutAction);
}

void MainWindow::loadInstructionText(bool show) {
    const std::string path = getResourcePath("instructions.htm");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fputs("File error", stderr);
        endProcess(1);
    }
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::rewind(f);
    // A directory or an unseekable file gives a negative size; it cannot be read as text.
    char* buffer =
        size >= 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1)) : nullptr;
    if (!buffer) {
        std::fclose(f);
        std::fputs(size >= 0 ? "Memory error" : "Reading error", stderr);
        endProcess(size >= 0 ? 2 : 3);
    }
    if (std::fread(buffer, 1, static_cast<size_t>(size), f) != static_cast<size_t>(size)) {
        std::free(buffer);
        std::fclose(f);
        std::fputs("Reading error", stderr);
        endProcess(3);
    }
    buffer[size] = '\0';
    instructionText = buffer;
    std::fclose(f);
    if (show) QMessageBox::about(this, tr("Instructions"), tr(instructionText));
}

void MainWindow::about() {
    QMessageBox::about(this, tr("Instructions"), tr(instructionText));
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    RenderingSetting& settings = RenderingSetting::_instance;
    switch (event->key()) {
    case Qt::Key_D:
        settings.toggleSaveViewpath();
        break;
    case Qt::Key_V:
        settings.showPaths = !settings.showPaths;
        break;
    case Qt::Key_Space:
        settings.displayMode = settings.displayMode <= 0 ? 1 : 0;
        break;
    default:
        break;
    }
    glWidget->update();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (openController->acceptsDrop(event->mimeData())) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (!openController->acceptsDrop(event->mimeData())) return;
    event->acceptProposedAction();
    openController->drop(event->mimeData());
}

void MainWindow::changeApplicationMode(int index) {
    RenderingSetting& settings = RenderingSetting::_instance;
    ExtTrackball& trackball = ExtTrackball::_instance;
    textureManager& maps = textureManager::_instance;
    switch (index) {
    case 0:
        visualizerDialog->setSelectedModel(settings.selectedModel);
        settings.applicationMode = 2;
        trackball.nudgeStrength = 0;
        settings.selectedAttribute = 0;
        settings.showPaths = false;
        visualizerDialog->setSelectedAttribute(0);
        break;
    case 1: {
        // The maps' texture belongs to the view's context.
        ViewContext context;
        trackballDialog->setSelectedModel(settings.selectedModel);
        settings.applicationMode = 1;
        if (settings.selectedAttribute != 0) {
            settings.selectedAttribute = 0;
            maps.LoadPGMImage(settings.goodnessFilePath());
        }
        maps.LoadVGFImageB(settings.gradientFilePath());
        trackball.nudgeStrength = trackball.recommendedNudgeStrength;
        trackball.frictionStrength = trackball.recommendedFrictionStrength;
        if (trackballDialog->getNudgeMode() != 0) {
            // Truncated in float, as the panel computes its slider values: 56 and 11.
            trackballDialog->setNudgeStrengthSliderValue(
                static_cast<int>(trackball.recommendedNudgeStrength * 100.0f));
            trackballDialog->setFrictionStrengthSliderValue(
                static_cast<int>(trackball.recommendedFrictionStrength * 100.0f));
        } else {
            trackballDialog->setNudgeStrengthSliderValue(0);
            trackballDialog->setFrictionStrengthSliderValue(0);
        }
        settings.showPaths = false;
        trackball.predictedThrowPath.clear();
        break;
    }
    case 2: {
        ViewContext context;
        scrubberDialog->setSelectedModel(settings.selectedModel);
        settings.applicationMode = 3;
        if (settings.selectedAttribute != 0) {
            settings.selectedAttribute = 0;
            maps.LoadPGMImage(settings.goodnessFilePath());
        }
        trackball.nudgeStrength = 0;
        settings.showPaths = true;
        break;
    }
    default:
        break;
    }
}
