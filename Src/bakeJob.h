#pragma once
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// One model baked by orvalis-bake in a child process, so that the GUI thread never waits: the
// baker renders with its own offscreen context, reports its progress in lines on standard output,
// and writes the tree all or nothing, so that ending it early (cancel) leaves the tree as it was.
class BakeJob : public QObject {
    Q_OBJECT
public:
    // Bakes file as model name into the tree at root, the mesh's up axis being up.
    BakeJob(const QString& root, const QString& name, const QString& up, const QString& file,
            QObject* parent = nullptr);
    ~BakeJob() override;

    void start();
    // Ends the baker unless it is already writing the tree (then it is let finish, since the
    // write is short and all or nothing); true when it was ended.
    bool cancel();
    // The baker has measured every view and is writing the tree: too late to cancel.
    bool writing() const { return done >= 1000; }

    const QString name;
    const QString file;

signals:
    void progress(int thousandths);
    // ok: the maps are in the tree. Otherwise reason says why not (one line).
    void finished(bool ok, const QString& reason);

private:
    void readProgress();
    void ended(int exitCode, QProcess::ExitStatus status);

    QString root, up;
    QProcess process;
    // The baker's scratch files go here and are removed with the job, even if it was killed.
    std::unique_ptr<QTemporaryDir> scratch;
    QByteArray pendingOut;
    int done = 0;
    bool cancelled = false;
};

// The baker: the one named by ORVALIS_BAKE, else the one next to the viewer (bake/orvalis-bake in
// a build folder, orvalis-bake beside an installed viewer), else the one on PATH. Empty when
// there is none.
QString bakerExecutable();
