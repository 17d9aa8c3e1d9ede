#include "ServerProcess.h"

#include <QElapsedTimer>
#include <QRegularExpression>

namespace quorlan::test {

ServerProcess::ServerProcess(QString program, QString databasePath)
    : program_(std::move(program)), databasePath_(std::move(databasePath)) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
}

ServerProcess::~ServerProcess() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

std::string ServerProcess::Start(const QStringList& options, std::chrono::milliseconds wait) {
    QStringList arguments{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"),
                          databasePath_};
    arguments += options;
    process_.start(program_, arguments);
    if (!process_.waitForStarted(static_cast<int>(wait.count())))
        return "cannot start " + program_.toStdString() + ": " + process_.errorString().toStdString();
    // spdlog's line: "... listening on 127.0.0.1:PORT"
    static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < wait.count()) {
        const QRegularExpressionMatch match = listening.match(QString::fromStdString(Log()));
        if (match.hasMatch()) {
            port_ = static_cast<std::uint16_t>(match.captured(1).toUInt());
            return {};
        }
        if (process_.state() == QProcess::NotRunning) return "the server ended at once:\n" + Log();
        process_.waitForReadyRead(100);
    }
    return "the server did not report its port in time:\n" + Log();
}

std::string ServerProcess::RobotAdd(const std::string& phone) const {
    QProcess command;
    command.setProcessChannelMode(QProcess::MergedChannels);
    command.start(program_, {QStringLiteral("--db"), databasePath_, QStringLiteral("robot"), QStringLiteral("add"),
                             QString::fromStdString(phone)});
    if (!command.waitForFinished(30000)) return "robot add did not finish";
    if (command.exitStatus() == QProcess::NormalExit && command.exitCode() == 0) return {};
    return "robot add failed: " + command.readAll().toStdString();
}

std::string ServerProcess::Log() {
    log_ += process_.readAll().toStdString();
    return log_;
}

} // namespace quorlan::test
