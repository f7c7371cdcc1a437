#include "sfx/session.h"

namespace sfx {
namespace {

Session *g_session = nullptr;

}  // namespace

void reset_run(Session &session) {
    session.payload_config = {};
    session.sfx_settings = {};
    session.process_values = {};
    session.extraction_state = {};
}

SessionScope::SessionScope(Session &session) : previous_(g_session), platform_(session.platform) {
    g_session = &session;
}

SessionScope::~SessionScope() { g_session = previous_; }

Session &session() { return *g_session; }

Ui &ui() { return *g_session->ui; }

}  // namespace sfx
