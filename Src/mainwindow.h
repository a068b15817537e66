#pragma once
#include <QMainWindow>

class QAction;
class QMenu;
class QScrollArea;
class QTabWidget;
class GLWidget;
class VisualizerDialog;
class TrackballDialog;
class ScrubberDialog;

// The one main window: the view above the three panel tabs, the Help menu and the three keys.
// Construction shows the window and then the modal instruction box; it returns when the box is
// closed.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    GLWidget* view() const { return glWidget; }
    QTabWidget* tabs() const { return tabWidget; }
    VisualizerDialog* visualizerPanel() const { return visualizerDialog; }
    TrackballDialog* trackballPanel() const { return trackballDialog; }
    ScrubberDialog* scrubberPanel() const { return scrubberDialog; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void changeApplicationMode(int index);
    void about();

private:
    void createActions();
    void createMenus();
    void loadInstructionText();

    QWidget* centralWidget = nullptr;
    QScrollArea* scrollArea = nullptr;
    GLWidget* glWidget = nullptr;
    VisualizerDialog* visualizerDialog = nullptr;
    TrackballDialog* trackballDialog = nullptr;
    ScrubberDialog* scrubberDialog = nullptr;
    QTabWidget* tabWidget = nullptr;
    QMenu* helpMenu = nullptr;
    QAction* aboutAction = nullptr;
    char* instructionText = nullptr; // owned; the whole instruction file, NUL-terminated
};
