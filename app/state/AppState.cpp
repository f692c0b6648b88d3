#include "app/state/AppState.h"

#include <memory>

namespace {
std::unique_ptr<AppState> state;
}

AppState& appState() {
    if (!state)
        state = std::make_unique<AppState>();
    return *state;
}

void resetAppState() {
    state = std::make_unique<AppState>();
}
