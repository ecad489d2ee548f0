// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <algorithm>

// The helper program started as a real process, read line by line. Every wait is bounded so a
// broken helper fails the test instead of hanging it.
class THelperProcess final {
public:
    THelperProcess(const QStringList& Args, const QProcessEnvironment& Env) {
        FProcess.setProcessEnvironment(Env);
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(QStringLiteral(TALLYVOX_TEST_HELPER), Args);
    }
    ~THelperProcess() {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.kill();
            FProcess.waitForFinished(5000);
        }
    }

    // The next line of output, or an empty text when none came within LimitMs or the process ended.
    QString ReadLine(int LimitMs = 10000) {
        QDeadlineTimer deadline(LimitMs);
        while (!FProcess.canReadLine()) {
            const qint64 left = deadline.remainingTime();
            if (left <= 0)
                return {};
            if (!FProcess.waitForReadyRead(static_cast<int>(left)) &&
                FProcess.state() == QProcess::NotRunning)
                return FProcess.canReadLine() ? ReadLine(0) : QString();
        }
        return QString::fromUtf8(FProcess.readLine()).trimmed();
    }

    // Reads lines until one starts with Prefix; empty when none did within LimitMs.
    QString ReadLineStartingWith(const QString& Prefix, int LimitMs = 10000) {
        QDeadlineTimer deadline(LimitMs);
        for (;;) {
            const QString line = ReadLine(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
            if (line.isEmpty() || line.startsWith(Prefix))
                return line;
        }
    }

    void Write(const QByteArray& Data) {
        FProcess.write(Data);
        FProcess.waitForBytesWritten(5000);
    }

    // Exit code, or -1 when the process did not end within LimitMs (it is then killed).
    int WaitForExit(int LimitMs = 15000) {
        if (!FProcess.waitForFinished(LimitMs) && FProcess.state() != QProcess::NotRunning)
            return -1;
        return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
    }

    void Kill() {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }

    bool Started() { return FProcess.waitForStarted(5000); }

private:
    QProcess FProcess;
};
