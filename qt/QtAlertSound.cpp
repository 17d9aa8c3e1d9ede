#include "qt/QtAlertSound.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include "quorlan/BuildConfig.h"

namespace quorlan::qt {

QtAlertSound::QtAlertSound(const QString& file, base::ILineLogs& logs)
    : logs_(logs), effect_(std::make_unique<QSoundEffect>()) {
    if (!file.isEmpty()) effect_->setSource(QUrl::fromLocalFile(file));
    QObject::connect(effect_.get(), &QSoundEffect::statusChanged, effect_.get(), [this] {
        if (effect_->status() == QSoundEffect::Error) TellOnce("the sound file cannot be played");
    });
}

QtAlertSound::~QtAlertSound() = default;

void QtAlertSound::TellOnce(const std::string& why) {
    if (told_) return;
    told_ = true;
    logs_.DebugLog("Sound: " + why);
}

void QtAlertSound::Play() {
    if (effect_->source().isEmpty()) return TellOnce("no sound file");
    if (QMediaDevices::audioOutputs().isEmpty()) return TellOnce("no sound device");
    if (effect_->status() == QSoundEffect::Error) return;
    effect_->play();
}

QString QtAlertSound::FindSoundFile() {
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/quorlan/alert.wav"));
    if (QFileInfo::exists(installed)) return QDir::cleanPath(installed);
    const QString built = QString::fromUtf8(config::kSourceDataDir) + QStringLiteral("/alert.wav");
    if (QFileInfo::exists(built)) return built;
    return {};
}

} // namespace quorlan::qt
