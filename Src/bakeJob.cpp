#include "bakeJob.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <sys/resource.h>

BakeJob::BakeJob(const QString& rootFolder, const QString& model, const QString& upAxis,
                 const QString& meshFile, QObject* parent)
    : QObject(parent), name(model), file(meshFile), root(rootFolder), up(upAxis) {
    connect(&process, &QProcess::readyReadStandardOutput, this, &BakeJob::readProgress);
    connect(&process, &QProcess::finished, this, &BakeJob::ended);
    connect(&process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            emit finished(false, tr("cannot start the baker %1").arg(process.program()));
    });
}

BakeJob::~BakeJob() {
    if (process.state() == QProcess::NotRunning) return;
    // A baker that is writing the tree is let finish, so that the window closing mid-write
    // leaves no half-renamed set of files.
    if (!writing() || !process.waitForFinished(30000)) process.kill();
    process.waitForFinished(5000);
}

void BakeJob::start() {
    const QString baker = bakerExecutable();
    if (baker.isEmpty()) {
        emit finished(false, tr("no orvalis-bake beside the viewer or on PATH"));
        return;
    }
    scratch = std::make_unique<QTemporaryDir>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (scratch->isValid()) env.insert("TMPDIR", scratch->path());
    // One core is left to the viewer: the baker renders with one context fewer than there are
    // cores, and Mesa's rasterizer in it with as many threads, unless the user chose otherwise.
    const QString threads = QString::number(std::max(1, QThread::idealThreadCount() - 1));
    if (!env.contains("LP_NUM_THREADS")) env.insert("LP_NUM_THREADS", threads);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // The baker yields the cores to the viewer, so that a drag during a bake stays smooth; it
    // takes what the viewer leaves.
    process.setChildProcessModifier([] { setpriority(PRIO_PROCESS, 0, 10); });
    process.start(baker, {"--root", root, "--name", name, "--up", up, "--threads", threads,
                          "--progress-lines", "--quiet", "--", file});
}

bool BakeJob::cancel() {
    if (process.state() == QProcess::NotRunning || writing()) return false;
    cancelled = true;
    process.kill();
    return true;
}

void BakeJob::readProgress() {
    pendingOut += process.readAllStandardOutput();
    for (qsizetype end; (end = pendingOut.indexOf('\n')) >= 0;) {
        const QByteArray line = pendingOut.left(end);
        pendingOut.remove(0, end + 1);
        const QList<QByteArray> words = line.split(' ');
        bool ok = false;
        const int n = words.size() == 3 && words[0] == "progress" ? words[1].toInt(&ok) : 0;
        if (ok && n > done) {
            done = n;
            emit progress(n);
        }
    }
}

void BakeJob::ended(int exitCode, QProcess::ExitStatus status) {
    readProgress();
    scratch.reset();
    if (cancelled) {
        emit finished(false, tr("cancelled"));
        return;
    }
    if (status == QProcess::NormalExit && exitCode == 0) {
        emit finished(true, {});
        return;
    }
    // The baker's last line on standard error says what went wrong.
    const QStringList lines =
        QString::fromLocal8Bit(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QString reason = lines.isEmpty() ? tr("the baker ended with status %1").arg(exitCode)
                                     : lines.last().trimmed();
    if (reason.startsWith("orvalis-bake: ")) reason = reason.mid(14);
    emit finished(false, reason);
}

QString bakerExecutable() {
    // A baker elsewhere (a test's or a packager's) is named in the environment.
    const QString named = qEnvironmentVariable("ORVALIS_BAKE");
    if (!named.isEmpty()) return QFileInfo(named).isExecutable() ? named : QString();
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {here + "/bake/orvalis-bake", here + "/orvalis-bake"})
        if (QFileInfo(candidate).isExecutable()) return candidate;
    return QStandardPaths::findExecutable("orvalis-bake");
}
