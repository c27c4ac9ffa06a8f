#include "sound/sound_module.h"

#include "platform/program_module.h"

#include <cstdio>

namespace jackwell {

SoundModule::SoundModule(QStringList places)
    : places_(std::move(places)) {}

SoundModule::~SoundModule() = default;

QStringList SoundModule::placesFor(const QString& executableDir) {
    return programModulePlaces(executableDir, QStringLiteral(JACKWELL_SOUND_MODULE_FILE));
}

bool SoundModule::load() {
    if (tried_)
        return output_ != nullptr;
    tried_ = true;
    QString error;
    using Create = SoundOutput* (*)();
    if (const auto create =
            reinterpret_cast<Create>(openProgramModule(places_, kSoundModuleEntry, &error)))
        output_.reset(create());
    else
        std::fprintf(stderr, "jackwell: no sound: %s\n", qPrintable(error));
    return output_ != nullptr;
}

void SoundModule::playSound(const QString& filename, bool repeat) {
    if (load())
        output_->playSound(filename, repeat);
}

void SoundModule::stopSound() {
    if (load())
        output_->stopSound();
}

void SoundModule::beep() {
    if (load())
        output_->beep();
}

} // namespace jackwell
