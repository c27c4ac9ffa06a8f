#include "shell/idle_buttons.h"

namespace jackwell {

QString whyButtonIsIdle(const CardState& state, CardAction action) {
    const bool keeperKnown = !state.machineKeeperName.isEmpty();
    switch (action) {
    case CardAction::AskToRegister:
        return keeperKnown ? QString() : QStringLiteral("First find the machinekeeper: GET HOST");
    case CardAction::Start:
        if (!keeperKnown)
            return QStringLiteral("First find the machinekeeper: GET HOST");
        return state.startEnabled ? QString()
                                  : QStringLiteral("This game is still on: ESP HOLD, then FINISH");
    case CardAction::Finish:
        return state.finishEnabled ? QString() : QStringLiteral("First send your holds: ESP HOLD");
    default:
        return {};
    }
}

} // namespace jackwell
