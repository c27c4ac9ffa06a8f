#pragma once

#include "sound/sound_output.h"

#include <QStringList>

#include <memory>

namespace jackwell {

// The program's sound output, from the sound module (sound_module_entry.cpp,
// platform/program_module.h). The module is opened by load(), which the program calls once its
// windows are painted, or by the first request that comes before; until then it costs nothing.
// Where the module cannot be opened every request is silent, and why is said once on stderr.
class SoundModule final : public SoundOutput {
public:
    // `places`: where the module may lie, tried in this order (see placesFor).
    explicit SoundModule(QStringList places);
    ~SoundModule() override;

    // Where the module lies for the program in `executableDir` (programModulePlaces).
    static QStringList placesFor(const QString& executableDir);

    // Opens the module, once; whether the sound output is there.
    bool load();

    void playSound(const QString& filename, bool repeat) override;
    void stopSound() override;
    void beep() override;

private:
    QStringList places_;
    bool tried_ = false;
    std::unique_ptr<SoundOutput> output_; // made by the module, which stays loaded
};

} // namespace jackwell
