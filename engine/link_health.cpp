// The link's health as the worker sees it: its state for link_stats, the
// last message shown, and what the database connection is protected with.
#include "engine/engine.h"

namespace tarnlight {

void Engine::SetLinkState(LinkState state) {
    if (stats_.state() == state) return;
    const bool wentDown = stats_.state() == LinkState::Online;
    stats_.SetState(state);
    // Readers learn of a lost or ended link at once, not at the next round
    // (there may be none); a server that is away gets it with the next row.
    // A link that went down also ends the tags' history ("no data").
    if (!config_.dbEnabled) return;
    // The history's gap is journalled here, by the thread that reads, in
    // order with the values before it.
    if (wentDown) mirror_.JournalLinkDown(NowMs());
    mirrorWorker_.LinkStateChanged(wentDown);
}

void Engine::ShowMessage(const std::string& text) {
    window_.SetPanelText(kMessagePanel, text);
    stats_.SetLastMessage(text);
}

void Engine::TakeDatabaseTls() {
    // What the database connection is protected with, for the Statistics
    // page: the TLS version and cipher, or "no TLS".
    stats_.SetDatabaseTls(config_.dbEnabled ? connection_.TlsDescription() : "");
}

}  // namespace tarnlight
