#include "Velloran/sync/HistoryTokenStore.h"

#include <string>

#include "platform/paths/FileIO.h"

namespace velloran {
namespace {

std::optional<platform::HistoryToken> readTokenFile(const std::optional<std::filesystem::path>& file) {
  if (!file) return std::nullopt;
  platform::Result<platform::Bytes> contents = platform::readFile(*file);
  if (!contents) return std::nullopt;
  return platform::HistoryToken::parse(std::string(contents->begin(), contents->end()));
}

}  // namespace

HistoryTokenStore::HistoryTokenStore(std::optional<std::filesystem::path> file)
    : queue_(platform::makeSerialQueue("CloudKitSyncService.history")),
      file_(std::move(file)),
      token_(readTokenFile(file_)) {}

std::optional<platform::HistoryToken> HistoryTokenStore::current() const {
  std::optional<platform::HistoryToken> token;
  queue_->sync([&] { token = token_; });
  return token;
}

bool HistoryTokenStore::advance(const platform::HistoryToken& token, const platform::UUID& loadedStore) {
  bool taken = false;
  queue_->sync([&] {
    if (token.storeIdentifier != loadedStore) return;
    const bool forward = !token_ || token_->storeIdentifier != loadedStore ||
                         token.transactionNumber > token_->transactionNumber;
    if (!forward) return;
    token_ = token;
    write(token);
    taken = true;
  });
  return taken;
}

void HistoryTokenStore::reset(const platform::HistoryToken& expired) {
  queue_->sync([&] {
    if (token_ != expired) return;
    token_.reset();
    if (file_) {
      std::error_code ignored;
      std::filesystem::remove(*file_, ignored);
    }
  });
}

void HistoryTokenStore::write(const platform::HistoryToken& token) const {
  if (!file_) return;
  // A token that cannot be saved costs a second reading of the same history after a restart,
  // nothing more; the processing goes on.
  (void)platform::createDirectories(file_->parent_path());
  const std::string text = token.serialized();
  (void)platform::writeFileAtomically(*file_, platform::Bytes(text.begin(), text.end()));
}

}  // namespace velloran
