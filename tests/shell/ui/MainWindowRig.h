#pragma once
#include "shell/ClientSession.h"
#include "shell/ui/TFrmMain.h"

#include "fakes/FakeClock.h"
#include "fakes/FakeInputBox.h"
#include "fakes/FakeSocket.h"
#include "fakes/FakeTimer.h"
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

// The main window on a session over fakes: a recording socket, a hand-set
// clock, scripted random numbers, recorded message and input boxes and a
// settings file in a fresh directory. Make() connects, resets and loads the
// settings as the program's start-up does, without the update check.
struct MainWindowRig {
    shell::ui::TFrmMain::Options ViewOptions() {
        shell::ui::TFrmMain::Options options;
        options.trayAvailable = [this] { return trayAvailable; };
        options.notify = [this](const QString&, const QString& text) { notifications.push_back(text); };
        options.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
        return options;
    }

    std::unique_ptr<shell::ui::TFrmMain> Make() {
        searchCondition.reset();
        searchSwitch.reset();
        session.reset();
        auto fakeSocket = std::make_unique<FakeSocket>();
        socket = fakeSocket.get();
        ownSocket = std::move(fakeSocket);
        timerProcess = FakeTimer();
        session = std::make_unique<shell::ClientSession>(settingsPath, *socket, timerProcess, messageBox, clock, random,
                                                         actions);
        searchSwitch = std::make_unique<shell::SearchSwitch>(session->State(), session->Sender(), session->Logs(), clock);
        searchCondition = std::make_unique<board::SearchConditionHandler>(session->State(), session->Sender(),
                                                                          session->Logs(), inputBox, messageBox);
        auto made = std::make_unique<shell::ui::TFrmMain>(
            shell::ui::TFrmMain::Services{session->State(), session->Logs(), *session, clock, random, *searchSwitch,
                                          *searchCondition},
            ViewOptions());
        session->Connect();
        session->Reset();
        made->ShowSettings(session->LoadSettings());
        return made;
    }

    void WriteSettings(const std::string& iniText) { TempDir::Write(settingsPath, iniText); }

    TempDir dir;
    std::string settingsPath = dir.File("Quorlan.ini");
    FakeSocket* socket = nullptr;
    FakeClock clock;
    ScriptedRandom random{{19, 0, 7, 13, 4}};
    RecordingMessageBox messageBox;
    FakeInputBox inputBox;
    RecordingActions actions;
    bool trayAvailable = true;
    std::vector<QString> notifications;
    std::vector<QUrl> openedUrls;
    std::unique_ptr<net::ISocket> ownSocket;
    FakeTimer timerProcess; // the session's framing timer, ticked by the test
    std::unique_ptr<shell::ClientSession> session;
    std::unique_ptr<shell::SearchSwitch> searchSwitch;
    std::unique_ptr<board::SearchConditionHandler> searchCondition;
};

} // namespace quorlan::test
