#pragma once
#include "shell/ui/TFrmMain.h"

#include "fakes/FakeClock.h"
#include "fakes/FakeInputBox.h"
#include "fakes/FakeSocket.h"
#include "fakes/RecordingActions.h"
#include "fakes/RecordingLogs.h"
#include "fakes/ScriptedRandom.h"
#include "fakes/TempDir.h"

#include <QString>
#include <QUrl>
#include <memory>
#include <string>
#include <vector>

namespace quorlan::test {

// Builds the main window on fakes: a recording socket, a hand-set clock,
// scripted random numbers, recorded message and input boxes, a settings file
// in a fresh directory and an update check that answers at once.
struct MainWindowRig {
    shell::ui::TFrmMain::Options Options() {
        shell::ui::TFrmMain::Options options;
        options.settingsPath = settingsPath;
        options.updateCheck = [this](net::ILineLogs&) {
            serverDuringCheck = appliedAddress + ":" + std::to_string(appliedPort);
            return network;
        };
        auto fakeSocket = std::make_unique<FakeSocket>();
        socket = fakeSocket.get();
        options.socket = std::move(fakeSocket);
        options.applyServerAddress = [this](const std::string& address, std::uint16_t port) {
            appliedAddress = address;
            appliedPort = port;
        };
        options.clock = &clock;
        options.random = &random;
        options.messageBox = &messageBox;
        options.inputBox = &inputBox;
        options.trayAvailable = [this] { return trayAvailable; };
        options.notify = [this](const QString&, const QString& text) { notifications.push_back(text); };
        options.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
        return options;
    }

    std::unique_ptr<shell::ui::TFrmMain> Make() { return std::make_unique<shell::ui::TFrmMain>(actions, Options()); }

    void WriteSettings(const std::string& iniText) { TempDir::Write(settingsPath, iniText); }

    TempDir dir;
    std::string settingsPath = dir.File("Quorlan.ini");
    shell::ui::StartupNetwork network{"10.1.2.3", 4321, false};
    std::string serverDuringCheck; // where a reconnect tick during the check would go
    FakeSocket* socket = nullptr;
    FakeClock clock;
    ScriptedRandom random{{19, 0, 7, 13, 4}};
    RecordingMessageBox messageBox;
    FakeInputBox inputBox;
    RecordingActions actions;
    bool trayAvailable = true;
    std::string appliedAddress;
    std::uint16_t appliedPort = 0;
    std::vector<QString> notifications;
    std::vector<QUrl> openedUrls;
};

} // namespace quorlan::test
