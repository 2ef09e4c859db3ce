#include "installations/BCNInstallationsIIDStore.h"

#include <openssl/evp.h>

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/CVUKeychainUtils.h"
#include "platform/bundle/Bundle.h"
#include "platform/paths/ApplicationDirectories.h"
#include "platform/paths/FileIO.h"
#include "platform/plist/PropertyList.h"
#include "platform/value/Base64.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {
namespace {

constexpr const char* kMarkerKey = "|S|cre";

platform::KeychainQuery keyQuery(const platform::Bytes& tag) {
  platform::KeychainQuery query;
  query.itemClass = platform::KeychainItemClass::Key;
  query.applicationTag = tag;
  query.keyType = platform::kKeychainKeyTypeRSA;
  return query;
}

// True when the marker file exists and holds the marker key.
bool hasMarker() {
  std::optional<std::filesystem::path> file = BCNInstallationsIIDStore::markerFilePath();
  if (!file) return false;
  platform::Result<platform::Value> contents = platform::readPropertyListFile(*file);
  return contents && contents->find(kMarkerKey);
}

// Removes the marker key from the file. A file that does not read as a dictionary holds no marker
// to remove: it is left alone (and logged) rather than failing every later delete.
platform::Result<void> removeMarker() {
  std::optional<std::filesystem::path> file = BCNInstallationsIIDStore::markerFilePath();
  if (!file || !std::filesystem::exists(*file)) return {};
  platform::Result<platform::Value> contents = platform::readPropertyListFile(*file);
  if (!contents || !contents->asDictionary()) {
    BCNLoggerLogWarning(kBCNLoggerInstallations, "I-BIS005000",
                        "The legacy instance ID file %@ is not a dictionary; it is left as it is.",
                        file->string());
    return {};
  }
  contents->asDictionary()->erase(kMarkerKey);
  platform::Result<platform::Bytes> data =
      platform::writePropertyList(*contents, platform::PropertyListFormat::Binary);
  if (!data) return data.error();
  return platform::writeFileAtomically(*file, *data);
}

platform::Result<void> deleteKey(bool publicKey) {
  std::optional<platform::Bytes> tag = BCNInstallationsIIDStore::keyTag(publicKey);
  if (!tag) return {};
  platform::KeychainStatus status = platform::sharedKeychain()->remove(keyQuery(*tag));
  if (status == platform::kKeychainSuccess || status == platform::kKeychainItemNotFound) return {};
  return BCNInstallationsErrorUtil::keychainErrorWithFunction("SecItemDelete", status);
}

}  // namespace

std::optional<std::filesystem::path> BCNInstallationsIIDStore::markerFilePath() {
  platform::Result<std::filesystem::path> support = platform::applicationSupportDirectory();
  if (!support) return std::nullopt;
  return *support / "Corvane" / "BeaconInstanceID" / vendorLabel("iid-keypair.plist");
}

std::optional<platform::Bytes> BCNInstallationsIIDStore::keyTag(bool publicKey) {
  std::optional<std::string> bundleIdentifier = platform::Bundle::main()->bundleIdentifier();
  if (!bundleIdentifier || bundleIdentifier->empty()) return std::nullopt;
  std::string tag =
      vendorLabel(publicKey ? "iid.keypair.public-" : "iid.keypair.private-") + *bundleIdentifier;
  return platform::Bytes(tag.begin(), tag.end());
}

std::string BCNInstallationsIIDStore::IIDWithPublicKeyData(const platform::Bytes& publicKey) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(publicKey.data(), publicKey.size(), digest, &length, EVP_sha1(), nullptr);
  platform::Bytes prefix(digest, digest + 8);
  prefix[0] = static_cast<std::uint8_t>(0x70 | (prefix[0] & 0x0F));
  return platform::base64Encode(prefix, platform::Base64Alphabet::UrlSafe, platform::Base64Padding::Omit);
}

CVPPromise<std::string> BCNInstallationsIIDStore::existingIID() const {
  auto queue = platform::globalQueue(platform::QualityOfService::Utility);
  return CVPPromise<std::optional<std::string>>::doWork(
             queue,
             []() -> std::optional<std::string> {
               if (!hasMarker()) return std::nullopt;
               std::optional<platform::Bytes> tag = keyTag(true);
               if (!tag) return std::nullopt;
               platform::KeychainCopyResult key = platform::sharedKeychain()->copyMatching(keyQuery(*tag));
               if (key.status != platform::kKeychainSuccess || !key.data) return std::nullopt;
               return IIDWithPublicKeyData(*key.data);
             })
      .validate(queue, [](const std::optional<std::string>& iid) { return iid && !iid->empty(); })
      .then(queue, [](const std::optional<std::string>& iid) { return *iid; });
}

CVPPromise<CVPUnit> BCNInstallationsIIDStore::deleteExistingIID() const {
  return CVPPromise<CVPUnit>::doWork(
      platform::globalQueue(platform::QualityOfService::Utility), []() -> CVPOutcome<CVPUnit> {
        // In order, each only after the one before succeeded.
        for (auto step : {removeMarker, +[] { return deleteKey(true); }, +[] { return deleteKey(false); }}) {
          platform::Result<void> done = step();
          if (!done) return done.error();
        }
        return CVPUnit{};
      });
}

}  // namespace beacon
