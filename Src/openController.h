#pragma once
#include "meshOpener.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <string>

class BakeJob;
class GLWidget;
class QAction;
class QComboBox;
class QLabel;
class QMainWindow;
class QMimeData;
class QProgressBar;
class QPushButton;
class ScrubberDialog;
class TrackballDialog;
class VisualizerDialog;

// The parts of the main window that opening files works on. The window is the controller's
// parent and lends it its status bar.
struct OpenTargets {
    QMainWindow* window;
    GLWidget* view;
    VisualizerDialog* visualizer;
    TrackballDialog* trackball;
    ScrubberDialog* scrubber;
};

// Opens users' mesh files in the running viewer (File > Open, dropped files, the command line):
// each is shown at once with the plain trackball while its maps bake in the background, one bake
// at a time, with a progress bar and Cancel in the status bar. Maps that arrive are loaded into
// the view without touching its orientation. A file that cannot be opened or baked is reported
// in one line (status bar and standard error) and leaves the lists, the shown model and the tree
// as they were.
class OpenController : public QObject {
    Q_OBJECT
public:
    explicit OpenController(const OpenTargets& targets);
    ~OpenController() override;

    QAction* openAction() const { return open; }
    QPushButton* cancelButton() const { return cancel; }
    bool baking() const { return job != nullptr; }

    // Shows the file dialog (the four formats, a choice of up axis) and opens what is chosen.
    void chooseFiles();
    // Opens files; up empty: each format's usual axis. The first file opened becomes the selected
    // model.
    void openFiles(const QStringList& files, const QString& up);
    // Bakes the models that were put in the lists before the window existed (the command line's).
    void bakePlanned(const std::vector<OpenPlan>& plans);

    bool acceptsDrop(const QMimeData* mime) const;
    void drop(const QMimeData* mime);

signals:
    void bakeFinished(const QString& name, bool ok);
    // The queue of bakes is empty.
    void allBaked();

private:
    struct Queued {
        OpenPlan plan;
        std::string shownBefore; // the model shown when the file was opened
    };

    void report(const QString& line);
    QComboBox* modelBox(int panel) const;
    void addToPanels(const std::string& name);
    void select(int index);
    void loadOrbit();
    void startNext();
    void jobFinished(bool ok, const QString& reason);
    void loadArrivedMaps(const std::string& name);
    void undo(const Queued& queued);
    void cancelCurrent();

    OpenTargets parts;
    QAction* open = nullptr;
    QLabel* label = nullptr;
    QProgressBar* bar = nullptr;
    QPushButton* cancel = nullptr;
    std::deque<Queued> queue;
    Queued current;
    std::unique_ptr<BakeJob> job;
};
