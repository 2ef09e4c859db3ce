#pragma once
// Fetches app artwork for the other-apps cards: one GET per image through the HTTP client, decoded
// into a QImage on the main queue.
//
// Only http(s) URLs are fetched (artwork URLs come from a store reply, never trusted to name a
// local file or another scheme); the body may be at most kMaximumBytes and the picture at most
// kMaximumSide pixels on either side, so a hostile reply cannot fill the memory. Anything that
// fails - scheme, transport, status outside 200-299, size, undecodable data - yields a null image,
// and the caller shows its placeholder.
//
// Threads: load() from the main thread; the completion runs exactly once, later, on the main queue.

#include <QImage>
#include <cstddef>
#include <functional>
#include <memory>

#include "platform/net/HttpClient.h"
#include "platform/net/Url.h"

namespace velloran {

class ArtworkLoader {
 public:
  static constexpr std::size_t kMaximumBytes = 2u * 1024u * 1024u;
  static constexpr int kMaximumSide = 2048;

  explicit ArtworkLoader(std::shared_ptr<platform::HttpClient> client);

  void load(const platform::Url& url, std::function<void(QImage)> completion);

  // The picture in `bytes`, or a null image when it is no picture or too large.
  static QImage decode(const QByteArray& bytes);

 private:
  std::shared_ptr<platform::HttpClient> client_;
};

}  // namespace velloran
