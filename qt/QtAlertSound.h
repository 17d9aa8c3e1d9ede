#pragma once
#include "base/ILineLogs.h"
#include "base/IAlertSound.h"

#include <QString>
#include <memory>

class QSoundEffect;

namespace quorlan::qt {

// The alert sound through Qt Multimedia. Without a sound device, or with a
// file that cannot be played, Play does nothing; the debug log says so once.
class QtAlertSound : public base::IAlertSound {
public:
    QtAlertSound(const QString& file, base::ILineLogs& logs);
    ~QtAlertSound() override;

    void Play() override;

    // The program's alert sound: share/quorlan/alert.wav under the prefix the
    // program is installed in, else the source tree's (a build run in place);
    // empty when neither exists.
    static QString FindSoundFile();

private:
    void TellOnce(const std::string& why);

    base::ILineLogs& logs_;
    std::unique_ptr<QSoundEffect> effect_;
    bool told_ = false;
};

} // namespace quorlan::qt
