#include "shell/http/UpdateCheck.h"

#include "base/Cp949.h"
#include "shell/IniFile.h"
#include "shell/PatchInstall.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

namespace quorlan::shell {
namespace {

QString FromPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace

UpdateCheck::UpdateCheck(THTTPDown& downloader, base::ILineLogs& logs, UpdateCheckOptions options)
    : downloader_(downloader), logs_(logs), options_(std::move(options)) {}

UpdateOutcome UpdateCheck::Run() {
    UpdateOutcome outcome;
    outcome.server = ServerEndpoint{options_.defaultAddress, options_.defaultPort};

    // Only a list fetched whole is read: when the old file could not be
    // emptied, or the transfer failed part-way, the list counts as empty, so
    // no earlier or partial list names the server or a build.
    downloader_.SetMaxBytes(static_cast<qint64>(IniFile::kMaxFileBytes));
    const bool fetched = downloader_.DownloadToFile(options_.listUrl, options_.listFile);
    IniFile listFile(QFile::encodeName(options_.listFile).toStdString());
    if (!fetched) {
        logs_.DebugLog("Update: patch list not fetched from " + base::Cp949FromUtf8(options_.listUrl.toStdString()));
    } else if (IniStatus loaded = listFile.Load(); !loaded.ok) {
        logs_.DebugLog("Update: " + loaded.error);
    }
    const PatchList list = ReadPatchList(listFile, options_.defaultAddress, options_.defaultPort);
    outcome.server = EndpointFromList(list, options_.defaultAddress, options_.defaultPort, logs_);
    if (options_.applyEndpoint) options_.applyEndpoint(outcome.server);

    if (OffersNewerBuild(list, options_.clientBuild)) outcome.updateInstalled = InstallAndStart(list);
    return outcome;
}

bool UpdateCheck::InstallAndStart(const PatchList& list) {
    const std::string version = std::to_string(list.version);
    if (list.patchfile.empty()) {
        logs_.DebugLog("Update: build " + version + " offered without a patch file, not installed");
        return false;
    }
    // A patch that could never be installed is not fetched at all.
    if (PatchVerdict verifiable = CheckOfferVerifiable(list.signature, options_.publicKeyHex); !verifiable.install) {
        logs_.DebugLog("Update: build " + version + " not fetched: " + verifiable.reason);
        return false;
    }
    const QString program =
        options_.programPath.isEmpty() ? QCoreApplication::applicationFilePath() : options_.programPath;
    const PatchPaths paths = PatchPathsFor(std::filesystem::path(QFile::encodeName(program).toStdString()));
    if (LastInstalledBuild(paths) >= list.version) {
        logs_.DebugLog("Update: build " + version + " was installed before, not installed again");
        return false;
    }

    const QString patchUrl = QString::fromUtf8(base::Utf8FromCp949(list.patchfile));
    downloader_.SetMaxBytes(static_cast<qint64>(kMaxPatchBytes));
    if (!downloader_.DownloadToFile(patchUrl, FromPath(paths.patch))) {
        logs_.DebugLog("Update: patch download from " + list.patchfile + " failed, build " + version +
                       " not installed");
        return false;
    }
    PatchVerdict verdict = VerifyPatchFile(paths.patch.string(), list.version, list.signature, options_.publicKeyHex);
    if (!verdict.install) {
        logs_.DebugLog("Update: build " + version + " not installed: " + verdict.reason);
        return false;
    }
    if (InstallStatus installed = InstallPatch(paths); !installed.ok) {
        logs_.DebugLog("Update: build " + version + " not installed: " + installed.error);
        return false;
    }
    // Recorded before the start: a build that is installed once is never
    // installed again, even when it cannot be started.
    if (InstallStatus recorded = RecordInstalledBuild(paths, list.version); !recorded.ok) {
        InstallStatus undone = UndoInstall(paths);
        logs_.DebugLog("Update: build " + version + " not installed: " + recorded.error + ", previous program " +
                       (undone.ok ? std::string("restored") : "not restored: " + undone.error));
        return false;
    }
    const QString newProgram = FromPath(paths.program);
    // The settings file is looked for in the working directory, so the new
    // program starts where this one was started.
    if (!QProcess::startDetached(newProgram, {}, QDir::currentPath())) {
        // A program that cannot be started must not replace one that runs.
        InstallStatus undone = UndoInstall(paths);
        logs_.DebugLog("Update: build " + version + " could not be started, previous program " +
                       (undone.ok ? std::string("restored") : "not restored: " + undone.error));
        return false;
    }
    logs_.DebugLog("Update: build " + version + " installed and started");
    return true;
}

} // namespace quorlan::shell
