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
class OpenController;

// The one main window: the view above the three panel tabs, the Help menu and the three keys.
// Construction shows the window and then, unless told not to (a start with files to show), the
// modal instruction box; it returns when the box is closed.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(bool showInstructions = true);
    ~MainWindow() override;

    GLWidget* view() const { return glWidget; }
    QTabWidget* tabs() const { return tabWidget; }
    VisualizerDialog* visualizerPanel() const { return visualizerDialog; }
    TrackballDialog* trackballPanel() const { return trackballDialog; }
    ScrubberDialog* scrubberPanel() const { return scrubberDialog; }
    OpenController* opener() const { return openController; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void changeApplicationMode(int index);
    void about();

private:
    void createActions();
    void createMenus();
    void loadInstructionText(bool show);

    QWidget* centralWidget = nullptr;
    QScrollArea* scrollArea = nullptr;
    GLWidget* glWidget = nullptr;
    VisualizerDialog* visualizerDialog = nullptr;
    TrackballDialog* trackballDialog = nullptr;
    ScrubberDialog* scrubberDialog = nullptr;
    QTabWidget* tabWidget = nullptr;
    QMenu* fileMenu = nullptr;
    QMenu* helpMenu = nullptr;
    OpenController* openController = nullptr;
    QAction* aboutAction = nullptr;
    char* instructionText = nullptr; // owned; the whole instruction file, NUL-terminated
};
