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
    // The view takes whatever room the window gains; the tabs keep their own height.
    scrollArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    scrollArea->setMinimumSize(950, 480);
    scrollArea->setFrameStyle(QFrame::Panel | QFrame::Raised);

    openController =
        new OpenController({this, glWidget, visualizerDialog, trackballDialog, scrubberDialog});
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
    layout->addWidget(scrollArea, 1);
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

// The message box lays out the whole text before it can be closed; far beyond this that takes
// minutes.
constexpr size_t maxInstructionBytes = size_t(1) << 20;

void MainWindow::loadInstructionText(bool show) {
    const std::string path = getResourcePath("instructions.htm");
    // A folder, a FIFO or a device is not an instruction file: the same end as a missing one.
    switch (readTextForDisplay(
        path.c_str(), maxInstructionBytes,
        "\n<p><i>(The instruction file is longer than 1 MB; the rest is not shown.)</i></p>",
        &instructionText)) {
    case FileStatus::ok:
        break;
    case FileStatus::noMemory:
        std::fputs("Memory error", stderr);
        endProcess(2);
    case FileStatus::readError:
        std::fputs("Reading error", stderr);
        endProcess(3);
    default:
        std::fputs("File error", stderr);
        endProcess(1);
    }
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
