#include "platform/headless/headless_network.h"

namespace {
HeadlessNetwork network;
}  // namespace

HeadlessNetwork& HeadlessNetworkState() {
  return network;
}

void HeadlessResetNetwork() {
  network = HeadlessNetwork();
}

bool PlatformHttpStart(const HttpRequest& request) {
  if (!network.available) return false;
  network.started.push_back(request);
  return true;
}

std::string PlatformDefaultServer() {
  return network.defaultServer;
}

void PlatformWatchReplay(const std::string& path, int fromGame) {
  network.watched.emplace_back(path, fromGame);
}

void PlatformShowSharedRanking() {
  ++network.dialogsShown;
}

void PlatformSharedRankingChanged() {
  ++network.dialogUpdates;
}

void PlatformShowOnlineStatus(const char* text) {
  network.status = text;
}
