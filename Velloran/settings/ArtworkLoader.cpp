#include "Velloran/settings/ArtworkLoader.h"

#include <QBuffer>
#include <QImageReader>

#include "platform/dispatch/Queue.h"

namespace velloran {

ArtworkLoader::ArtworkLoader(std::shared_ptr<platform::HttpClient> client) : client_(std::move(client)) {}

void ArtworkLoader::load(const platform::Url& url, std::function<void(QImage)> completion) {
  if (!url.isWeb()) {
    platform::mainQueue()->async([completion = std::move(completion)] { completion(QImage()); });
    return;
  }
  platform::HttpRequest request;
  request.url = url.string();
  request.maximumResponseBytes = kMaximumBytes;
  client_->send(std::move(request), platform::mainQueue(),
                [completion = std::move(completion)](platform::Result<platform::HttpResponse> result) {
                  if (!result.ok() || result.value().statusCode < 200 || result.value().statusCode > 299) {
                    completion(QImage());
                    return;
                  }
                  const platform::Bytes& body = result.value().body;
                  completion(decode(QByteArray(reinterpret_cast<const char*>(body.data()),
                                               static_cast<qsizetype>(body.size()))));
                });
}

QImage ArtworkLoader::decode(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  // The header tells the size before anything large is allocated.
  const QSize size = reader.size();
  if (!size.isValid() || size.width() > kMaximumSide || size.height() > kMaximumSide) return QImage();
  return reader.read();
}

}  // namespace velloran
