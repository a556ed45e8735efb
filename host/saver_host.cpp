#include "host/saver_host.h"

SaverHostState MakeInitialHostState() {
    SaverHostState state{};
    state.LastPasswordCheckTick = NoTick;
    return state;
}

SaverHostState SaverHost = MakeInitialHostState();
